// The process command line, scanned parameter by parameter. Owns nothing; reads the system's
// command line anew on every call (host: the text given to SetHostCommandLine).
// Quotes (0x22) toggle a quoted stretch and are never part of a parameter; outside quotes every
// byte from 0x01 to 0x20 separates parameters. Never throws: a missing parameter is empty.
#pragma once

#include <cstdint>
#include <string>

// Scans the parameter that starts at P. Count receives its byte count without quotes; when Dest
// is given the bytes are stored there (Count bytes, no terminator). Returns the position of the
// zero byte or of the whitespace byte that ended the parameter.
const char *ScanParameter(const char *P, char *Dest, int32_t &Count);

// Param receives the parameter that starts at P; returns the position of the next parameter
// (whitespace skipped), never beyond the terminating zero byte.
const char *TakeParameter(const char *P, std::string &Param);

// The scanner applied to a given command line (parameter 0 is the program name as written).
std::string CommandTailOf(const char *CommandLine);
// The same tail of a UTF-16 command line, split by the same rules.
std::wstring CommandTailOf(const wchar_t *CommandLine);
int32_t CountParametersOf(const char *CommandLine);
// The K-th parameter (K >= 1) behind parameter 0; empty if there are fewer or K < 1.
std::string ParameterAtOf(const char *CommandLine, int32_t K);

// The same on the process command line (GetCommandLineA).
// Everything behind parameter 0 and its following whitespace, byte for byte.
std::string CommandTail();
// The number of parameters behind parameter 0.
int32_t CountParameters();
// K = 0: the module's own file name from the system, in the form SelectAnsiPath (ansi_path.h)
// picks: as the ANSI code page holds it, else its short form; with neither, one that no file can
// have, so opening it fails. Empty on failure or if it does not fit in 260 bytes.
// K >= 1: as ParameterAtOf; K < 0: empty.
std::string ParameterAt(int32_t K);

#ifdef _WIN32
// CommandTail of the process's UTF-16 command line (GetCommandLineW): what the user passed,
// with the characters the ANSI code page lacks.
std::wstring WideCommandTail();
#endif

// Host build only: the command line the functions above read, and the module file name for
// ParameterAt(0) (empty: /proc/self/exe).
void SetHostCommandLine(const std::string &CommandLine, const std::string &ModuleFileName = "");
