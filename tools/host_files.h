// The tools' side of the host's files: inputs opened with the host's own reason for a refusal,
// the check that an output does not name one of the inputs, and outputs written under a
// temporary name that vanish when the command fails or is interrupted, and the few other host
// services the commands use. Every POSIX call of the tools lives in host_files.cpp. Owns the
// descriptors it opens; the interrupt handler owns nothing but the names it was handed.
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
// Moves back to the start, for a second pass over the input.
void RewindHostInput(THostInput &In);
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

// An output, written where Target leads: symbolic links are followed to the file they name (a
// link to nowhere names the file to create), as a compiler's -o does.
// - A regular file (or none yet) is written under a temporary name in that file's folder
//   (name + ".tmp-XXXXXX") and renamed over it by Commit, so it is replaced only when complete;
//   until then the destructor removes the temporary file, and so do SIGINT, SIGTERM and SIGHUP
//   once InstallInterruptCleanup has run. An existing file keeps its permission bits.
// - A character device or a FIFO (/dev/null, a pipe) is written straight, front to back: it
//   cannot be renamed over, and what was written cannot be taken back.
// - Anything else (a folder, a block device, a socket) is refused.
// Throws EOutputError naming Target.
class THostOutput {
public:
    explicit THostOutput(const std::string &Target);
    ~THostOutput();
    THostOutput(const THostOutput &) = delete;
    THostOutput &operator=(const THostOutput &) = delete;

    void Write(const void *Data, size_t Count);
    // Only where the output is a regular file (!IsStream()).
    void WriteAt(uint64_t Offset, const void *Data, size_t Count);
    uint64_t Size() const { return FSize; }
    // A device or FIFO, written straight: no WriteAt, nothing to take back on failure.
    bool IsStream() const { return FStream; }
    // A regular file gets the permission bits of the file it replaces, or those a new file gets
    // (umask applied; 0777 when Executable, else 0666); it is flushed to disk and renamed over
    // the target. A stream is closed. Finish, when given, runs before the rename on the file
    // under its temporary name and may rewrite or replace it; the mode is given again after it.
    // A throw from it leaves no file. A stream takes no Finish.
    void Commit(bool Executable,
                const std::function<void(const std::string &TemporaryPath)> &Finish = nullptr);
    [[noreturn]] void Fail(int Error) const;

private:
    std::string FTarget;   // as the command line named it, for messages
    std::string FResolved; // where it leads
    std::string FTempPath;
    THostFd FFd;
    int FSlot = -1;
    bool FCommitted = false;
    bool FStream = false;
    int FKeptMode = -1; // the replaced file's permission bits, or -1 for a new file
    uint64_t FSize = 0;
};

// Installs the handlers that remove every pending THostOutput on SIGINT, SIGTERM and SIGHUP and
// then end the process by the same signal. Call once, early in main.
void InstallInterruptCleanup();

// True when standard error is a terminal (for a progress line).
bool StandardErrorIsTerminal();
// True when something exists at Path (a link to nowhere does not count).
bool PathExists(const std::string &Path);
// The folder that holds the running program; empty when it cannot be read.
std::string RunningProgramFolder();
