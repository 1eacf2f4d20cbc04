// Positioned file access with 64-bit positions. TFile owns its handle once it is opened
// (FOwnsHandle) and closes it when destroyed; every failure throws EFileError.
#pragma once

#include <cstdint>
#include <string>

#include "support/exceptions.h"

enum TFileCreation { fcCreateAlways, fcCreateNew, fcOpenExisting, fcOpenAlways, fcTruncateExisting };
enum TFileAccessMode { amRead, amWrite, amReadWrite };
enum TFileShareMode { smNone, smRead, smWrite, smReadWrite };

// Win32 error codes the file layer itself reports.
constexpr uint32_t ErrorWriteFault = 29; // ERROR_WRITE_FAULT: a write that wrote nothing
constexpr uint32_t ErrorHandleEof = 38;  // ERROR_HANDLE_EOF: fewer bytes read than asked

class TCustomFile {
public:
    TCustomFile() = default;
    TCustomFile(const TCustomFile &) = delete;
    TCustomFile &operator=(const TCustomFile &) = delete;
    virtual ~TCustomFile() = default;

    virtual uint64_t GetPosition() = 0;
    virtual uint64_t GetSize() = 0;
    // One read; returns the bytes read, possibly fewer than Count (0 at the end of the file).
    virtual uint32_t Read(void *Buffer, uint32_t Count) = 0;
    virtual void SeekTo64(uint64_t Offset) = 0;
    // Writes all Count bytes, going on after a short write; throws EFileError with the system's
    // code, or with code 29 when a write makes no progress.
    virtual void Write(const void *Buffer, uint32_t Count) = 0;

    // Reads exactly Count bytes or throws EFileError with code 38 (what did arrive is consumed).
    void ReadExact(void *Buffer, uint32_t Count);
    void Seek(uint32_t Offset) { SeekTo64(Offset); }

    // Message: the system's text for the code, or the built-in "file I/O error %d" pattern.
    [[noreturn]] static void RaiseFileError(uint32_t Code);
    // The last system error of the calling thread (GetLastError, or errno mapped to a Win32 code).
    [[noreturn]] static void RaiseLastFileError();
};

class TFile : public TCustomFile {
public:
    using THandleValue = intptr_t;

    TFile(const std::string &FileName, TFileCreation Creation, TFileAccessMode Access,
          TFileShareMode Share);
    ~TFile() override;

    uint64_t GetPosition() override;
    uint64_t GetSize() override;
    uint32_t Read(void *Buffer, uint32_t Count) override;
    void SeekTo64(uint64_t Offset) override;
    void Write(const void *Buffer, uint32_t Count) override;
    // Ends the file at the current position.
    void Truncate();

    // The same operations for a thread where nothing may throw (the extraction's writer): each
    // returns 0 on success, or the Win32 error code that the throwing form reports.
    uint32_t TrySeek(uint64_t Offset) noexcept;
    uint32_t TryWrite(const void *Buffer, uint32_t Count) noexcept;
    uint32_t TryTruncate() noexcept;

protected:
    // Opens the system handle without checking it; 0 or the invalid value mean failure.
    virtual THandleValue OpenSystemHandle(const std::string &FileName, TFileCreation Creation,
                                          TFileAccessMode Access, TFileShareMode Share);

private:
    THandleValue FFileHandle = 0;
    bool FOwnsHandle = false;
};

// The last system error code, in Win32 terms on both platforms.
uint32_t LastSystemErrorCode();
