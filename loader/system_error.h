// The loader's report of a failed system call: message 96 with the operation's text, the error
// code in decimal and the system's text for that code.
#pragma once

#include <cstdint>
#include <string>

// Message 96 with Operation as %1, Code as a signed decimal as %2 and SystemErrorText(Code) as %3.
std::string FormatSystemErrorMessage(const std::string &Operation, uint32_t Code);

// Win32 only. Takes GetLastError() before anything else and throws Exception with message 96
// around message MessageNumber, which is used as stored (not itself formatted).
[[noreturn]] void RaiseWin32Error(uint8_t MessageNumber);
