// Conversions between UTF-8 (what authors write and terminals show) and the ANSI code page a
// language's texts are stored in. The host does the code page work (text_codec_posix.cpp: glibc
// iconv; text_codec_win32.cpp: the system's own tables); nothing here throws.
#pragma once

#include <cstdint>
#include <string>

// Converts UTF-8 text to code page CodePage ("CP<n>" for iconv). Code page 0 means "any code
// page": only ASCII is allowed then. Returns false and a reason (the first character that does
// not fit, or an unknown code page) when the text cannot be stored exactly.
bool ConvertUtf8ToCodePage(const std::string &Utf8, uint32_t CodePage, std::string &Out,
                           std::string &Reason);

// ANSI bytes of code page CodePage (not 0) as UTF-8, exactly; false when a byte sequence does
// not convert or the code page is not known.
bool ConvertCodePageToUtf8(const std::string &Ansi, uint32_t CodePage, std::string &Utf8);

// For display: ANSI bytes of code page CodePage as UTF-8. Bytes that do not convert (or any byte
// above 0x7F for code page 0) are shown as \xNN, control bytes as \n, \r, \t or \xNN.
std::string CodePageToDisplay(const std::string &Ansi, uint32_t CodePage);

// The length of the UTF-8 sequence at Text[At], or 0 when the bytes there are not one (overlong
// forms, surrogates and values above U+10FFFF included); Code, when given, receives its value.
// The tools' one UTF-8 decoder.
size_t Utf8SequenceAt(const std::string &Text, size_t At, uint32_t *Code = nullptr);
// The offset of the first byte that is not part of valid UTF-8; Text.size() when all is valid.
size_t FindInvalidUtf8(const std::string &Text);

// True when the host knows the code page (0 is always known).
bool IsKnownCodePage(uint32_t CodePage);

// The host's converters for a known code page other than 0: UTF-8 into the code page (false,
// with the offset of the first character that does not fit, when one does not), and the code
// page's bytes into UTF-8 (false when a byte sequence does not convert).
bool EncodeCodePage(const std::string &Utf8, uint32_t CodePage, std::string &Out, size_t &Misfit);
bool DecodeCodePage(const std::string &Ansi, uint32_t CodePage, std::string &Utf8);
