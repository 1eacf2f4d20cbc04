// The tools' side of the host's files: inputs opened with the host's own reason for a refusal,
// the check that an output does not name one of the inputs, and outputs written under a
// temporary name that vanish when the command fails or is interrupted. Owns the descriptors it
// opens; the interrupt handler owns nothing but the names it was handed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/exceptions.h"

// An input is missing, unreadable or unusable; the message names its role, its path and why
// ("setup program /x/y: Is a directory"). Nothing has been written.
class EInputError : public Exception {
public:
    using Exception::Exception;
};

// An output cannot be written (folder missing, disk full, rename refused); nothing was left.
class EOutputError : public Exception {
public:
    using Exception::Exception;
};

// The output names the same file as an input; nothing has been read or written.
class EOutputIsInput : public Exception {
public:
    using Exception::Exception;
};

// An open POSIX descriptor, closed on every path.
class THostFd {
public:
    explicit THostFd(int Fd = -1) : FFd(Fd) {}
    ~THostFd() { Close(); }
    THostFd(THostFd &&Other) noexcept : FFd(Other.Detach()) {}
    THostFd &operator=(THostFd &&Other) noexcept {
        if (this != &Other) {
            Close();
            FFd = Other.Detach();
        }
        return *this;
    }
    THostFd(const THostFd &) = delete;
    THostFd &operator=(const THostFd &) = delete;
    int Get() const { return FFd; }
    int Detach() {
        int Fd = FFd;
        FFd = -1;
        return Fd;
    }
    int Close(); // 0, or -1 with errno set by close()

private:
    int FFd;
};

// A regular file opened for reading, its size known before anything is read.
struct THostInput {
    THostFd Fd;
    uint64_t Size = 0;
    std::string Path;
    std::string Role; // "setup program", "message file", "installer", ...
};

// Opens Path for reading. A file that cannot be opened, a folder (EISDIR), anything that is not
// a regular file, and a file above MaxSize bytes (MaxText says why) throw EInputError with the
// same wording in every command: "<Role> <Path>: <reason>".
THostInput OpenHostInput(const std::string &Path, const std::string &Role, uint64_t MaxSize,
                         const std::string &MaxText = std::string());

// Reads Count bytes at the input's current position; a read error or a file that became
// shorter is EInputError.
void ReadHostInput(THostInput &In, void *Buffer, size_t Count);
// Reads up to Count bytes from offset 0 without moving the position; returns how many came.
size_t ReadHostInputHead(THostInput &In, void *Buffer, size_t Count);
// The whole file (opened with a MaxSize the caller can hold in memory).
std::string ReadWholeHostInput(THostInput &In);

// An input as the command line named it, for RefuseOutputOverInputs.
struct TNamedPath {
    std::string Role;
    std::string Path;
};

// Throws EOutputIsInput when Output is the same file as one of Inputs: the same device and
// inode, or the same real path. Reads and writes nothing, so a refused command leaves every
// input as it was. Inputs that do not exist are left to the command to report.
void RefuseOutputOverInputs(const std::string &Output, const std::vector<TNamedPath> &Inputs);

// An output under a temporary name in Target's folder (Target + ".tmp-XXXXXX"), renamed over
// Target by Commit. Until then the destructor removes it, and so do SIGINT, SIGTERM and SIGHUP
// once InstallInterruptCleanup has run. Throws EOutputError naming Target.
class THostOutput {
public:
    explicit THostOutput(const std::string &Target);
    ~THostOutput();
    THostOutput(const THostOutput &) = delete;
    THostOutput &operator=(const THostOutput &) = delete;

    void Write(const void *Data, size_t Count);
    void WriteAt(uint64_t Offset, const void *Data, size_t Count);
    uint64_t Size() const { return FSize; }
    // Gives the file the mode a new file gets (umask applied; 0777 when Executable, else
    // 0666), flushes it to disk and renames it over Target. Finish, when given, runs before
    // the rename on the file under its temporary name and may rewrite or replace it; the mode
    // is given again after it. A throw from it leaves no file.
    void Commit(bool Executable,
                const std::function<void(const std::string &TemporaryPath)> &Finish = nullptr);
    [[noreturn]] void Fail(int Error) const;

private:
    std::string FTarget;
    std::string FTempPath;
    THostFd FFd;
    int FSlot = -1;
    bool FCommitted = false;
    uint64_t FSize = 0;
};

// Installs the handlers that remove every pending THostOutput on SIGINT, SIGTERM and SIGHUP and
// then end the process by the same signal. Call once, early in main.
void InstallInterruptCleanup();
