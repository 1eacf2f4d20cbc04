// The loader's own command-line options and the parameter string handed to the setup program.
// Options are read from the process command line (support/command_line.h); the strings are built
// from values the main sequence passes in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TLoaderOptions {
    // Set by "/SP-" and "/SPAWNWND=...": no startup prompt.
    bool SuppressStartupPrompt = false;
    // The value of the last "/Lang=" option; empty when there is none.
    std::string LangOption;
};

// The options of the process's parameters 1 .. CountParameters().
TLoaderOptions ParseLoaderOptions();
// The same rules over a list of parameters (program name not included, quotes already removed).
TLoaderOptions ReadLoaderOptions(const std::vector<std::string> &Parameters);

// The setup program's parameters: /SL5="$<window, hex>,<setup data offset>,<second data offset>,
// <SelfPath>" followed by the loader's own command tail. The offsets are written as signed 32-bit
// decimals, the window handle in upper-case hexadecimal without leading zeros.
std::string BuildChildParameters(uint32_t LoaderWindow, uint32_t SetupDataOffset,
                                 uint32_t SecondDataOffset, const std::string &SelfPath,
                                 const std::string &CommandTail);

// The setup program's whole command line: ExePath in double quotes, one blank, the parameters.
std::string BuildChildCommandLine(const std::string &ExePath, const std::string &Parameters);

// The setup program's command line in UTF-16, for when the parameters passed on to it (WideTail,
// the tail of the loader's UTF-16 command line) hold a character that the ANSI code page cannot
// hold exactly: CommandLine up to its last AnsiTailLength bytes (the ANSI tail) in UTF-16, then
// WideTail. ToAnsi is the exact conversion (TAnsiPathSystem, support/ansi_path.h); ToWide
// converts Length bytes into Wide, which has room for Length units, and returns the units written
// (0: failed). Empty when ToAnsi holds WideTail, or when ToWide fails: the ANSI command line then
// goes as it is.
std::wstring BuildWideChildCommandLine(const std::string &CommandLine, size_t AnsiTailLength,
                                       const std::wstring &WideTail,
                                       bool (*ToAnsi)(const std::wstring &, std::string &),
                                       size_t (*ToWide)(const char *, size_t, wchar_t *));
