// The failure classes of the whole system. Every failure is one of these, thrown by value and
// caught by reference; the message is an ANSI byte string shown to the user as it stands.
#pragma once

#include <cstdint>
#include <string>

class Exception {
public:
    explicit Exception(std::string Message) : FMessage(std::move(Message)) {}
    virtual ~Exception() = default;
    const std::string &Message() const noexcept { return FMessage; }

private:
    std::string FMessage;
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

// Formats a pattern holding one %d with a signed 32-bit number (no locale, no iostream).
std::string FormatWithNumber(const char *Pattern, int32_t Value);
