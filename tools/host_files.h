// The tools' side of the host's files: inputs opened with the host's own reason for a refusal,
// the check that an output does not name one of the inputs, and outputs written under a
// temporary name that vanish when the command fails or is interrupted, and the few other host
// services the commands use. The tools' system calls live in host_files_posix.cpp and
// host_files_win32.cpp (wide-character calls: paths are UTF-8 here, UTF-16 for the system).
// Owns the files it opens; the interrupt handler owns nothing but the names it was handed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "setupdata/file.h"
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

// An open file, closed on every path: a POSIX descriptor, or a Windows file handle (whose
// INVALID_HANDLE_VALUE is -1 too).
class THostFd {
public:
    explicit THostFd(intptr_t Fd = -1) : FFd(Fd) {}
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
    intptr_t Get() const { return FFd; }
    intptr_t Detach() {
        intptr_t Fd = FFd;
        FFd = -1;
        return Fd;
    }
    bool Close(); // false when the system reports a failure (the error is left where it put it)

private:
    intptr_t FFd;
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
// Reads up to Count bytes from Offset without moving the position; returns how many came (fewer
// only at the end of the file).
size_t ReadHostInputUpTo(THostInput &In, uint64_t Offset, void *Buffer, size_t Count);
inline size_t ReadHostInputHead(THostInput &In, void *Buffer, size_t Count) {
    return ReadHostInputUpTo(In, 0, Buffer, Count);
}
// Reads exactly Count bytes at Offset without moving the position; a read error or a file that
// became shorter is EInputError.
void ReadHostInputAt(THostInput &In, uint64_t Offset, void *Buffer, size_t Count);
// Moves back to the start, for a second pass over the input.
void RewindHostInput(THostInput &In);
// The whole file (opened with a MaxSize the caller can hold in memory).
std::string ReadWholeHostInput(THostInput &In);

// An input read through the loader's file interface, for the routine that accepts a package:
// reads at its own position, writes nothing. Read errors are EInputError.
class THostInputFile : public TCustomFile {
public:
    explicit THostInputFile(THostInput In) : FIn(std::move(In)) {}
    uint64_t GetPosition() override { return FPosition; }
    uint64_t GetSize() override { return FIn.Size; }
    uint32_t Read(void *Buffer, uint32_t Count) override;
    void SeekTo64(uint64_t Offset) override { FPosition = Offset; }
    void Write(const void *Buffer, uint32_t Count) override;

private:
    THostInput FIn;
    uint64_t FPosition = 0;
};

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
// On Windows links are not followed, a replaced file keeps nothing of the old one, and NUL, a
// console or a named pipe is written straight.
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
    // Throws EOutputError with the system's text for Error (errno; on Windows GetLastError()).
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
// then end the process by the same signal; on Windows on Ctrl-C, Ctrl-Break, closing the console,
// logoff and shutdown. Call once, early in main.
void InstallInterruptCleanup();

// True when standard error is a terminal (for a progress line).
bool StandardErrorIsTerminal();
// True when something exists at Path (a link to nowhere does not count).
bool PathExists(const std::string &Path);
// The folder that holds the running program; empty when it cannot be read.
std::string RunningProgramFolder();
// The file's size into Size; false when Path names no file that can be examined.
bool HostFileSize(const std::string &Path, uint64_t &Size);
// True when Path leads to a regular file (links followed).
bool IsHostRegularFile(const std::string &Path);
// True when Path leads to a folder (links followed).
bool IsHostFolder(const std::string &Path);
// True when Text holds a character that separates folders in a path on this host ('/'; on
// Windows also '\\').
bool HasHostPathSeparator(const std::string &Text);

// What the tool puts between a folder and a name: '/', on Windows '\\' (which names in messages
// then use throughout).
extern const char HostPathSeparator[];

// One name in a folder, as ListHostFolder reports it.
struct THostFolderEntry {
    enum EKind { File, Folder, Link, Other };
    std::string Name; // UTF-8 on Windows; the bytes the system holds elsewhere
    EKind Kind = Other; // the entry itself: a link is not followed
    bool ReadOnly = false; // the owner may not write it (Windows: the read-only attribute)
    uint64_t WriteTime = 0; // last modification, in FILETIME units (100 ns since 1601)
};
// Every name in Folder but "." and "..", in no defined order. Throws EInputError
// ("cannot read the folder F: reason", or the entry's path and reason).
std::vector<THostFolderEntry> ListHostFolder(const std::string &Folder);

// The command line as UTF-8 strings, the program's name first: Argv itself on POSIX; on
// Windows the UTF-16 command line, so that a name in any script arrives whole. Also sets the
// standard streams up to pass the tool's UTF-8 bytes through unchanged (no CR before LF).
std::vector<std::string> HostArguments(int Argc, char **Argv);
// Windows builds only: UTF-8 text as the UTF-16 the wide calls take.
std::wstring HostWideText(const std::string &Utf8);
