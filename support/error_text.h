// Texts for system error codes. Never throws: an unknown code gives an empty string.
#pragma once

#include <cstdint>
#include <string>

// The system's message for a Win32 error code, without trailing blanks, line breaks and periods;
// empty when the system has none. The host build knows the texts of the codes its file layer
// reports.
std::string SystemErrorText(uint32_t Code);

// Drops trailing bytes that are blanks, control bytes or periods from a message of Length bytes
// and returns the length that is left.
uint32_t TrimSystemMessageLength(const char *Text, uint32_t Length);
