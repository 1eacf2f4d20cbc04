#include "setupdata/file.h"
#include "support/win.h"

namespace {
const DWORD Dispositions[] = {CREATE_ALWAYS, CREATE_NEW, OPEN_EXISTING, OPEN_ALWAYS,
                              TRUNCATE_EXISTING};
const DWORD Accesses[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
const DWORD Shares[] = {0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};

HANDLE AsHandle(TFile::THandleValue Value) { return reinterpret_cast<HANDLE>(Value); }
} // namespace

uint32_t LastSystemErrorCode() { return ::GetLastError(); }

TFile::TFile(const std::string &FileName, TFileCreation Creation, TFileAccessMode Access,
             TFileShareMode Share) {
    THandleValue H = OpenSystemHandle(FileName, Creation, Access, Share);
    if (H == 0 || AsHandle(H) == INVALID_HANDLE_VALUE)
        RaiseLastFileError();
    FFileHandle = H;
    FOwnsHandle = true;
}

TFile::~TFile() {
    if (FOwnsHandle)
        ::CloseHandle(AsHandle(FFileHandle));
}

TFile::THandleValue TFile::OpenSystemHandle(const std::string &FileName, TFileCreation Creation,
                                            TFileAccessMode Access, TFileShareMode Share) {
    return reinterpret_cast<THandleValue>(
        ::CreateFileA(FileName.c_str(), Accesses[Access], Shares[Share],
                      /*SecurityAttributes=*/nullptr, Dispositions[Creation],
                      FILE_ATTRIBUTE_NORMAL, /*TemplateFile=*/nullptr));
}

uint64_t TFile::GetPosition() {
    LONG High = 0;
    // A low word of all ones is a valid position unless the call also sets an error.
    ::SetLastError(NO_ERROR);
    DWORD Low = ::SetFilePointer(AsHandle(FFileHandle), 0, &High, FILE_CURRENT);
    if (Low == INVALID_SET_FILE_POINTER) {
        DWORD Code = ::GetLastError();
        if (Code != NO_ERROR)
            RaiseFileError(Code);
    }
    return (uint64_t(uint32_t(High)) << 32) | Low;
}

uint64_t TFile::GetSize() {
    DWORD High = 0;
    ::SetLastError(NO_ERROR);
    DWORD Low = ::GetFileSize(AsHandle(FFileHandle), &High);
    if (Low == INVALID_FILE_SIZE) {
        DWORD Code = ::GetLastError();
        if (Code != NO_ERROR)
            RaiseFileError(Code);
    }
    return (uint64_t(High) << 32) | Low;
}

uint32_t TFile::Read(void *Buffer, uint32_t Count) {
    DWORD Done = 0;
    if (!::ReadFile(AsHandle(FFileHandle), Buffer, Count, &Done, /*Overlapped=*/nullptr))
        RaiseLastFileError();
    return Done;
}

uint32_t TFile::TrySeek(uint64_t Offset) noexcept {
    LONG High = static_cast<LONG>(Offset >> 32);
    ::SetLastError(NO_ERROR);
    DWORD Low = ::SetFilePointer(AsHandle(FFileHandle), static_cast<LONG>(Offset & 0xFFFFFFFFu),
                                 &High, FILE_BEGIN);
    // A low word of all ones is a valid position unless the call also sets an error.
    return Low == INVALID_SET_FILE_POINTER ? ::GetLastError() : NO_ERROR;
}

// A write may end short without an error (Wine, when the file system fills up): the rest is
// written again, as the POSIX backend does, so that a full disk is reported as the system's
// disk-full error. Only a write that makes no progress is a write fault.
uint32_t TFile::TryWrite(const void *Buffer, uint32_t Count) noexcept {
    uint32_t Done = 0;
    while (Done < Count) {
        DWORD N = 0;
        if (!::WriteFile(AsHandle(FFileHandle), static_cast<const char *>(Buffer) + Done,
                         Count - Done, &N, /*Overlapped=*/nullptr))
            return ::GetLastError();
        if (N == 0)
            return ErrorWriteFault;
        Done += N;
    }
    return NO_ERROR;
}

uint32_t TFile::TryTruncate() noexcept {
    if (!::SetEndOfFile(AsHandle(FFileHandle)))
        return ::GetLastError();
    return NO_ERROR;
}
