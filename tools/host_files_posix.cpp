#include "tools/host_files.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string SystemText(int Error) { return std::strerror(Error); }

// The temporary names the interrupt handler removes. The handler may run between any two
// instructions, so a slot is filled and emptied only while the signals are blocked, and the
// handler itself calls nothing but unlink, signal and raise.
struct TPendingSlot {
    volatile sig_atomic_t Used;
    char Path[PATH_MAX];
};
TPendingSlot PendingSlots[8];

const int CleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Blocks the cleanup signals for its lifetime.
class TSignalBlock {
public:
    TSignalBlock() {
        sigset_t Set;
        sigemptyset(&Set);
        for (int Signal : CleanupSignals)
            sigaddset(&Set, Signal);
        sigprocmask(SIG_BLOCK, &Set, &FOld);
    }
    ~TSignalBlock() { sigprocmask(SIG_SETMASK, &FOld, nullptr); }

private:
    sigset_t FOld;
};

void RemovePendingAndDie(int Signal) {
    for (TPendingSlot &Slot : PendingSlots)
        if (Slot.Used)
            ::unlink(Slot.Path);
    std::signal(Signal, SIG_DFL);
    std::raise(Signal); // delivered when the handler returns: the process ends by this signal
}

// The same file: device and inode, or (for file systems whose inode numbers cannot be
// trusted) the same resolved path.
bool SameFile(const struct stat &A, const std::string &RealA, const std::string &PathB) {
    struct stat B;
    if (::stat(PathB.c_str(), &B) != 0)
        return false;
    if (A.st_dev == B.st_dev && A.st_ino == B.st_ino)
        return true;
    char *Real = ::realpath(PathB.c_str(), nullptr);
    bool Same = Real && !RealA.empty() && RealA == Real;
    std::free(Real);
    return Same;
}

// Follows Path's symbolic links to the name they end at, for a link to a file not yet there; a
// relative link is read from the link's own folder. False with errno set (ELOOP for a cycle).
bool FollowLinks(std::string &Path) {
    for (int Hops = 0; Hops < 40; ++Hops) {
        struct stat St;
        if (::lstat(Path.c_str(), &St) != 0 || !S_ISLNK(St.st_mode))
            return true;
        std::string Link(PATH_MAX, '\0');
        ssize_t Length = ::readlink(Path.c_str(), &Link[0], Link.size());
        if (Length < 0)
            return false;
        Link.resize(static_cast<size_t>(Length));
        const size_t Slash = Path.rfind('/');
        const bool Absolute = Link[0] == '/' || Slash == std::string::npos;
        Path = Absolute ? Link : Path.substr(0, Slash + 1) + Link;
    }
    errno = ELOOP;
    return false;
}

} // namespace

bool THostFd::Close() {
    bool Closed = true;
    if (FFd >= 0)
        Closed = ::close(static_cast<int>(FFd)) == 0;
    FFd = -1;
    return Closed;
}

THostInput OpenHostInput(const std::string &Path, const std::string &Role, uint64_t MaxSize,
                         const std::string &MaxText) {
    THostInput In;
    In.Path = Path;
    In.Role = Role;
    auto Refuse = [&](const std::string &Why) { throw EInputError(Role + " " + Path + ": " + Why); };
    In.Fd = THostFd(::open(Path.c_str(), O_RDONLY | O_CLOEXEC));
    if (In.Fd.Get() < 0)
        Refuse(SystemText(errno));
    struct stat St;
    if (::fstat(In.Fd.Get(), &St) != 0)
        Refuse(SystemText(errno));
    // A folder opens for reading on Linux; reading it would fail with this very reason.
    if (S_ISDIR(St.st_mode))
        Refuse(SystemText(EISDIR));
    if (!S_ISREG(St.st_mode))
        Refuse("not a regular file");
    In.Size = static_cast<uint64_t>(St.st_size);
    if (In.Size > MaxSize)
        Refuse("it has " + std::to_string(In.Size) + " bytes; " + MaxText);
    return In;
}

void ReadHostInput(THostInput &In, void *Buffer, size_t Count) {
    uint8_t *P = static_cast<uint8_t *>(Buffer);
    while (Count > 0) {
        ssize_t Got = ::read(In.Fd.Get(), P, Count);
        if (Got < 0 && errno == EINTR)
            continue;
        if (Got < 0)
            throw EInputError(In.Role + " " + In.Path + ": " + SystemText(errno));
        if (Got == 0)
            throw EInputError(In.Role + " " + In.Path +
                              ": the file became shorter while it was read");
        P += Got;
        Count -= static_cast<size_t>(Got);
    }
}

size_t ReadHostInputUpTo(THostInput &In, uint64_t Offset, void *Buffer, size_t Count) {
    size_t Done = 0;
    while (Done < Count) {
        ssize_t Got = ::pread(In.Fd.Get(), static_cast<uint8_t *>(Buffer) + Done, Count - Done,
                              static_cast<off_t>(Offset + Done));
        if (Got < 0 && errno == EINTR)
            continue;
        if (Got < 0)
            throw EInputError(In.Role + " " + In.Path + ": " + SystemText(errno));
        if (Got == 0)
            break;
        Done += static_cast<size_t>(Got);
    }
    return Done;
}

void RewindHostInput(THostInput &In) {
    if (::lseek(In.Fd.Get(), 0, SEEK_SET) != 0)
        throw EInputError(In.Role + " " + In.Path + ": " + SystemText(errno));
}

void ReadHostInputAt(THostInput &In, uint64_t Offset, void *Buffer, size_t Count) {
    uint8_t *P = static_cast<uint8_t *>(Buffer);
    while (Count > 0) {
        ssize_t Done = ::pread(In.Fd.Get(), P, Count, static_cast<off_t>(Offset));
        if (Done < 0 && errno == EINTR)
            continue;
        if (Done <= 0)
            throw EInputError(In.Role + " " + In.Path + ": " +
                              (Done < 0 ? SystemText(errno) : std::string("it became shorter")));
        P += Done;
        Offset += static_cast<uint64_t>(Done);
        Count -= static_cast<size_t>(Done);
    }
}

void RefuseOutputOverInputs(const std::string &Output, const std::vector<TNamedPath> &Inputs) {
    struct stat Out;
    if (::stat(Output.c_str(), &Out) != 0)
        return; // a new file cannot be one of the existing inputs
    char *Real = ::realpath(Output.c_str(), nullptr);
    const std::string RealOut = Real ? Real : "";
    std::free(Real);
    for (const TNamedPath &In : Inputs)
        if (!In.Path.empty() && SameFile(Out, RealOut, In.Path))
            throw EOutputIsInput("the output " + Output + " is the " + In.Role + " " + In.Path +
                                 "; writing it would destroy that input");
}

THostOutput::THostOutput(const std::string &Target) : FTarget(Target), FResolved(Target) {
    struct stat St;
    if (::stat(Target.c_str(), &St) != 0) {
        // Nothing there yet, or a link to nowhere: the file to create is where the links end.
        if (errno != ENOENT || !FollowLinks(FResolved))
            Fail(errno);
    } else if (S_ISCHR(St.st_mode) || S_ISFIFO(St.st_mode)) {
        // Opened by the name given: /dev/stdout and its kin lead to no name a rename could use.
        FStream = true;
        FFd = THostFd(::open(Target.c_str(), O_WRONLY | O_CLOEXEC));
        if (FFd.Get() < 0)
            Fail(errno);
        return;
    } else if (S_ISDIR(St.st_mode)) {
        Fail(EISDIR);
    } else if (!S_ISREG(St.st_mode)) {
        throw EOutputError("cannot write " + Target +
                           ": it is not a regular file, a character device or a FIFO");
    } else {
        char *Real = ::realpath(Target.c_str(), nullptr);
        if (!Real)
            Fail(errno);
        FResolved = Real;
        std::free(Real);
        FKeptMode = static_cast<int>(St.st_mode & 07777);
    }
    FTempPath = FResolved + ".tmp-XXXXXX";
    TSignalBlock Block;
    for (int I = 0; I < int(sizeof(PendingSlots) / sizeof(PendingSlots[0])); ++I)
        if (!PendingSlots[I].Used) {
            FSlot = I;
            break;
        }
    if (FSlot < 0 || FTempPath.size() >= sizeof(PendingSlots[0].Path))
        throw EOutputError("cannot create a temporary file beside " + Target + ": " +
                           SystemText(FSlot < 0 ? EMFILE : ENAMETOOLONG));
    int Fd = ::mkstemp(&FTempPath[0]);
    if (Fd < 0)
        throw EOutputError("cannot create a temporary file beside " + Target + ": " +
                           SystemText(errno));
    FFd = THostFd(Fd);
    std::memcpy(PendingSlots[FSlot].Path, FTempPath.c_str(), FTempPath.size() + 1);
    PendingSlots[FSlot].Used = 1;
}

THostOutput::~THostOutput() {
    if (FStream)
        return;
    TSignalBlock Block;
    if (!FCommitted) {
        FFd.Close();
        ::unlink(FTempPath.c_str());
    }
    PendingSlots[FSlot].Used = 0;
}

void THostOutput::Fail(int Error) const {
    throw EOutputError("cannot write " + FTarget + ": " + SystemText(Error));
}

void THostOutput::Write(const void *Data, size_t Count) {
    const uint8_t *P = static_cast<const uint8_t *>(Data);
    while (Count > 0) {
        ssize_t Done = ::write(FFd.Get(), P, Count);
        if (Done < 0 && errno == EINTR)
            continue;
        if (Done <= 0)
            Fail(Done < 0 ? errno : ENOSPC);
        P += Done;
        Count -= static_cast<size_t>(Done);
        FSize += static_cast<uint64_t>(Done);
    }
}

void THostOutput::WriteAt(uint64_t Offset, const void *Data, size_t Count) {
    ssize_t Done = ::pwrite(FFd.Get(), Data, Count, static_cast<off_t>(Offset));
    if (Done != static_cast<ssize_t>(Count))
        Fail(Done < 0 ? errno : ENOSPC);
}

void THostOutput::Commit(bool Executable, const std::function<void(const std::string &)> &Finish) {
    if (FStream) {
        if (!FFd.Close())
            Fail(errno);
        FCommitted = true;
        return;
    }
    mode_t Mode = static_cast<mode_t>(FKeptMode);
    if (FKeptMode < 0) {
        const mode_t Mask = ::umask(0);
        ::umask(Mask);
        Mode = (Executable ? 0777 : 0666) & ~Mask;
    }
    if (::fchmod(FFd.Get(), Mode) != 0 || ::fsync(FFd.Get()) != 0)
        Fail(errno);
    if (!FFd.Close())
        Fail(errno);
    if (Finish) {
        Finish(FTempPath);
        THostFd Finished(::open(FTempPath.c_str(), O_RDONLY | O_CLOEXEC));
        if (Finished.Get() < 0 || ::fchmod(Finished.Get(), Mode) != 0 ||
            ::fsync(Finished.Get()) != 0)
            Fail(errno);
    }
    TSignalBlock Block; // renamed and no longer pending, or neither
    if (::rename(FTempPath.c_str(), FResolved.c_str()) != 0)
        Fail(errno);
    FCommitted = true;
    PendingSlots[FSlot].Used = 0;
}

void InstallInterruptCleanup() {
    for (int Signal : CleanupSignals) {
        struct sigaction Current;
        if (sigaction(Signal, nullptr, &Current) == 0 && Current.sa_handler == SIG_IGN)
            continue; // started to ignore it (a background job): keep it that way
        struct sigaction Action;
        std::memset(&Action, 0, sizeof(Action));
        Action.sa_handler = RemovePendingAndDie;
        sigemptyset(&Action.sa_mask);
        for (int Other : CleanupSignals)
            sigaddset(&Action.sa_mask, Other);
        sigaction(Signal, &Action, nullptr);
    }
}

bool StandardErrorIsTerminal() { return ::isatty(2) != 0; }

bool PathExists(const std::string &Path) { return ::access(Path.c_str(), F_OK) == 0; }

std::string RunningProgramFolder() {
    char Self[PATH_MAX];
    const ssize_t Length = ::readlink("/proc/self/exe", Self, sizeof(Self) - 1);
    if (Length <= 0)
        return std::string();
    std::string Folder(Self, static_cast<size_t>(Length));
    Folder.erase(Folder.rfind('/'));
    return Folder;
}

bool HostFileSize(const std::string &Path, uint64_t &Size) {
    struct stat St;
    if (::stat(Path.c_str(), &St) != 0)
        return false;
    Size = static_cast<uint64_t>(St.st_size);
    return true;
}

bool IsHostRegularFile(const std::string &Path) {
    struct stat St;
    return ::stat(Path.c_str(), &St) == 0 && S_ISREG(St.st_mode);
}

bool IsHostFolder(const std::string &Path) {
    struct stat St;
    return ::stat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

const char HostPathSeparator[] = "/";

bool HasHostPathSeparator(const std::string &Text) { return Text.find('/') != std::string::npos; }

std::vector<THostFolderEntry> ListHostFolder(const std::string &Folder) {
    constexpr uint64_t FileTimeOf1970 = 116444736000000000ull; // 100 ns units from 1601 to 1970
    DIR *Dir = ::opendir(Folder.c_str());
    if (!Dir)
        throw EInputError("cannot read the folder " + Folder + ": " + SystemText(errno));
    std::vector<std::string> Names;
    while (const dirent *Item = ::readdir(Dir)) {
        if (std::strcmp(Item->d_name, ".") != 0 && std::strcmp(Item->d_name, "..") != 0)
            Names.push_back(Item->d_name);
    }
    ::closedir(Dir);
    std::vector<THostFolderEntry> Entries;
    for (const std::string &Name : Names) {
        const std::string Full = Folder + "/" + Name;
        struct stat Info;
        if (::lstat(Full.c_str(), &Info) != 0)
            throw EInputError("cannot read " + Full + ": " + SystemText(errno));
        THostFolderEntry Entry;
        Entry.Name = Name;
        Entry.Kind = S_ISLNK(Info.st_mode)   ? THostFolderEntry::Link
                     : S_ISDIR(Info.st_mode) ? THostFolderEntry::Folder
                     : S_ISREG(Info.st_mode) ? THostFolderEntry::File
                                             : THostFolderEntry::Other;
        Entry.ReadOnly = (Info.st_mode & S_IWUSR) == 0;
        Entry.WriteTime = FileTimeOf1970 + uint64_t(Info.st_mtim.tv_sec) * 10000000u +
                          uint64_t(Info.st_mtim.tv_nsec) / 100;
        Entries.push_back(std::move(Entry));
    }
    return Entries;
}

std::vector<std::string> HostArguments(int Argc, char **Argv) {
    return std::vector<std::string>(Argv, Argv + Argc);
}
