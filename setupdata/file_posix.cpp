#include "setupdata/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The host backend speaks the same error language as the loader: errno values are mapped to the
// Win32 codes the rest of the system reports and names.
uint32_t LastSystemErrorCode() {
    switch (errno) {
    case 0: return 0;
    case ENOENT: return 2;             // ERROR_FILE_NOT_FOUND
    case ENOTDIR: return 3;            // ERROR_PATH_NOT_FOUND
    case EACCES: case EPERM: case EISDIR: case EROFS: return 5; // ERROR_ACCESS_DENIED
    case EBADF: return 6;              // ERROR_INVALID_HANDLE
    case ENOMEM: return 8;             // ERROR_NOT_ENOUGH_MEMORY
    case EBUSY: case ETXTBSY: return 32; // ERROR_SHARING_VIOLATION
    case EEXIST: return 80;            // ERROR_FILE_EXISTS
    case EINVAL: return 87;            // ERROR_INVALID_PARAMETER
    case ENOSPC: case EFBIG: return 112; // ERROR_DISK_FULL
    case ENAMETOOLONG: return 206;     // ERROR_FILENAME_EXCED_RANGE
    default: return 31;                // ERROR_GEN_FAILURE
    }
}

TFile::TFile(const std::string &FileName, TFileCreation Creation, TFileAccessMode Access,
             TFileShareMode Share) {
    THandleValue H = OpenSystemHandle(FileName, Creation, Access, Share);
    if (H == 0 || H == -1)
        RaiseLastFileError();
    FFileHandle = H;
    FOwnsHandle = true;
}

TFile::~TFile() {
    if (FOwnsHandle)
        ::close(static_cast<int>(FFileHandle));
}

// A descriptor of 0 would read as failure, so descriptors are kept above it. Sharing modes have
// no POSIX counterpart and are not enforced.
TFile::THandleValue TFile::OpenSystemHandle(const std::string &FileName, TFileCreation Creation,
                                            TFileAccessMode Access, TFileShareMode) {
    static const int Accesses[] = {O_RDONLY, O_WRONLY, O_RDWR};
    static const int Dispositions[] = {O_CREAT | O_TRUNC, O_CREAT | O_EXCL, 0, O_CREAT, O_TRUNC};
    int Fd = ::open(FileName.c_str(), Accesses[Access] | Dispositions[Creation] | O_CLOEXEC, 0644);
    if (Fd < 0)
        return -1;
    struct stat St;
    if (::fstat(Fd, &St) == 0 && S_ISDIR(St.st_mode)) {
        ::close(Fd);
        errno = EISDIR;
        return -1;
    }
    if (Fd == 0) {
        int Moved = ::fcntl(Fd, F_DUPFD_CLOEXEC, 1);
        int Saved = errno;
        ::close(Fd);
        errno = Saved;
        return Moved < 0 ? -1 : Moved;
    }
    return Fd;
}

uint64_t TFile::GetPosition() {
    off_t Pos = ::lseek(static_cast<int>(FFileHandle), 0, SEEK_CUR);
    if (Pos < 0)
        RaiseLastFileError();
    return static_cast<uint64_t>(Pos);
}

uint64_t TFile::GetSize() {
    struct stat St;
    if (::fstat(static_cast<int>(FFileHandle), &St) != 0)
        RaiseLastFileError();
    return static_cast<uint64_t>(St.st_size);
}

uint32_t TFile::Read(void *Buffer, uint32_t Count) {
    // One logical read: the kernel may hand out less than asked before the end of the file, so
    // reads are repeated until Count bytes or the end arrive, as ReadFile does on a disk file.
    uint32_t Done = 0;
    while (Done < Count) {
        ssize_t N = ::read(static_cast<int>(FFileHandle), static_cast<char *>(Buffer) + Done,
                           Count - Done);
        if (N < 0) {
            if (errno == EINTR)
                continue;
            RaiseLastFileError();
        }
        if (N == 0)
            break;
        Done += static_cast<uint32_t>(N);
    }
    return Done;
}

uint32_t TFile::TrySeek(uint64_t Offset) noexcept {
    if (::lseek(static_cast<int>(FFileHandle), static_cast<off_t>(Offset), SEEK_SET) < 0)
        return LastSystemErrorCode();
    return 0;
}

uint32_t TFile::TryWrite(const void *Buffer, uint32_t Count) noexcept {
    uint32_t Done = 0;
    while (Done < Count) {
        ssize_t N = ::write(static_cast<int>(FFileHandle),
                            static_cast<const char *>(Buffer) + Done, Count - Done);
        if (N < 0) {
            if (errno == EINTR)
                continue;
            return LastSystemErrorCode();
        }
        if (N == 0)
            return ErrorWriteFault;
        Done += static_cast<uint32_t>(N);
    }
    return 0;
}

uint32_t TFile::TryTruncate() noexcept {
    off_t Pos = ::lseek(static_cast<int>(FFileHandle), 0, SEEK_CUR);
    if (Pos < 0 || ::ftruncate(static_cast<int>(FFileHandle), Pos) != 0)
        return LastSystemErrorCode();
    return 0;
}
