// Texts for error boxes: the system's text for a Win32 error code, and the text of the exception
// being handled. Owns nothing. Never throws: an unknown code gives an empty string, and
// CurrentExceptionText always gives a text.
#pragma once

#include "support/path.h"

#include <cstdint>
#include <string>

// The system's message for a Win32 error code, without trailing blanks, line breaks and periods;
// empty when the system has none (or it does not fit in 1024 bytes). The host build knows the
// texts of the codes its file layer reports.
std::string SystemErrorText(uint32_t Code);

// Drops trailing bytes that are blanks, control bytes or periods from a message of Length bytes
// and returns the length that is left (byte by byte from the end).
uint32_t TrimSystemMessageLength(const char *Text, uint32_t Length);

// S with "." appended when the first byte of its last character lies above 0x2E (letters, digits,
// ':', '?', every double-byte character); S unchanged when empty or ending in a blank, a control
// byte or one of 0x21..0x2E (such as '!', ')', ',', '-', '.').
std::string TerminateSentence(const std::string &S,
                              const TCharScanner &Scanner = SystemCharScanner);

// The text to show for the exception being handled; call inside a catch block.
// No exception: "[ExceptObject=nil]". An Exception of our tree: TerminateSentence(its message).
// std::bad_alloc: TerminateSentence(OutOfMemoryText). Anything else: its type name, no period.
std::string CurrentExceptionText();
