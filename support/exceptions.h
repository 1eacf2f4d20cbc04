// The failure classes of the whole system. Every failure is one of these, thrown by value and
// caught by reference; the message is an ANSI byte string shown to the user as it stands. A
// failure caused by stored data also carries what was wrong and where (support/data_fault.h),
// which only the tools show.
#pragma once

#include <cstdint>
#include <string>

#include "support/data_fault.h"

class Exception {
public:
    explicit Exception(std::string Message) : FMessage(std::move(Message)) {}
    Exception(std::string Message, const TDataFault &Fault)
        : FMessage(std::move(Message)), FFault(Fault) {}
    virtual ~Exception() = default;
    const std::string &Message() const noexcept { return FMessage; }
    // Check None when the failure is not one of stored data. Routines that know more (which
    // structure was being read) add it while the exception passes.
    const TDataFault &Fault() const noexcept { return FFault; }
    TDataFault &Fault() noexcept { return FFault; }

private:
    std::string FMessage;
    TDataFault FFault;
};

// A silent cancel: the final handler shows nothing for it.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

class EOutOfMemory : public Exception {
public:
    EOutOfMemory();
};

class EFileError : public Exception {
public:
    EFileError(std::string Message, uint32_t Code)
        : Exception(std::move(Message)), SystemErrorCode(Code) {}
    uint32_t SystemErrorCode;
};

class ECompressError : public Exception {
public:
    using Exception::Exception;
};

// Stored data are damaged: wherever setup data are read this becomes the setup-corrupt error.
class ECompressDataError : public ECompressError {
public:
    using ECompressError::ECompressError;
};

// The decoder failed for a reason other than damaged data.
class ECompressInternalError : public ECompressError {
public:
    using ECompressError::ECompressError;
};

// The setup-corrupt error: the loader's file or its setup data are damaged. Its message is the
// text the loader shows (records/messages.h chooses it); its fault says what was found.
class ESetupCorrupt : public Exception {
public:
    using Exception::Exception;
};

// Formats a pattern holding one %d with a signed 32-bit number (no locale, no iostream).
std::string FormatWithNumber(const char *Pattern, int32_t Value);
