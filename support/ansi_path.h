// Paths that the system holds in UTF-16, put into the ANSI code page for the ANSI functions and
// for the setup program. A path that the code page cannot hold exactly is replaced by its 8.3
// short form, which names the same file or folder. Owns nothing; the system's conversions come
// in as a parameter (TAnsiPathSystem), so the rule runs on the host from tables. Never throws.
#pragma once

#include <cstdint>
#include <string>

struct TAnsiPathSystem {
    // Wide in the ANSI code page, without best-fit substitutes: true when every character has its
    // exact counterpart; otherwise false, with the code page's default character in Ansi for each
    // one lost (Ansi empty when the system cannot convert at all).
    bool (*ToAnsi)(const std::wstring &Wide, std::string &Ansi);
    // The 8.3 short form of an existing path (a component without a short name stays as it is);
    // empty when the system gives none.
    std::wstring (*ShortForm)(const std::wstring &Wide);
};

// Ansi receives the form of Wide for the ANSI functions: its exact conversion, else the exact
// conversion of its short form; true for either. False when neither exists: Ansi then holds the
// conversion with default characters, a name that no file can have, never a look-alike of
// another file's name.
bool SelectAnsiPath(const std::wstring &Wide, const TAnsiPathSystem &System, std::string &Ansi);

#ifdef _WIN32
#include "support/win.h"

// The text that a call of the shape Call(Input, Buffer, Size) gives (GetShortPathNameW,
// GetEnvironmentVariableW): it returns the text's length when the text fits, otherwise the size
// it asks for; 0 gives an empty text.
std::wstring QueryWideText(DWORD(WINAPI *Call)(LPCWSTR, LPWSTR, DWORD), const wchar_t *Input);

// WideCharToMultiByte on the ANSI code page, GetShortPathNameW.
extern const TAnsiPathSystem SystemAnsiPaths;

// Length bytes of text in the ANSI code page put into Wide in UTF-16 (MultiByteToWideChar, as the
// ANSI functions convert their strings); Wide has room for Length units. Returns the units
// written, 0 when the system cannot convert the text.
size_t WideFormOfAnsi(const char *Ansi, size_t Length, wchar_t *Wide);

// The ANSI form (SelectAnsiPath, default characters included) of a path that a system call put
// into a buffer of BufferSize wide characters and reported as Count; empty when the call failed,
// the path was cut off (Count not below BufferSize) or its ANSI form does not fit in BufferSize
// bytes with its terminator.
std::string AnsiFormOfSystemPath(const wchar_t *Buffer, uint32_t Count, uint32_t BufferSize);
#endif
