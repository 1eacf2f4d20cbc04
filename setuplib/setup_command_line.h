// The setup program's side of its command line: the loader writes
//   "<program>" /SL5="$<window>,<setup data offset>,<second data offset>,<loader path>" <tail>
// (loader/options.h builds it); this reads it back from the wide command line, with the scanner
// rules the loader applies to its own (support/command_line.h). Owns nothing; never throws
// except for lack of memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Every parameter, the program name first: quotes toggle a quoted stretch and are never part of
// a parameter; outside quotes every character from 1 to 32 separates parameters.
std::vector<std::wstring> SplitParameters(const std::wstring &CommandLine);

// The values of /SL5=. The offsets are written as signed 32-bit decimals; they are read back as
// the unsigned file offsets they stand for. The path runs to the end of the parameter and may
// hold commas.
struct TLoaderParameter {
    uint32_t Window = 0;
    uint32_t SetupDataOffset = 0;
    uint32_t SecondDataOffset = 0;
    std::wstring LoaderPath;
};

enum class TLoaderParameterState { Found, Missing, Malformed };

// Reads one parameter (quotes removed): Missing when it does not start with "/SL5=" (ASCII
// letters folded), Malformed when the rest is not "$", 1 to 8 hexadecimal digits, ",", two
// signed 32-bit decimals each followed by ",", and a non-empty path.
TLoaderParameterState ReadLoaderParameter(const std::wstring &Parameter, TLoaderParameter &Out);

// The whole command line: the loader passes /SL5= as the first parameter behind the program
// name; Rest receives the parameters behind it.
struct TSetupCommandLine {
    TLoaderParameter Loader;
    std::vector<std::wstring> Rest;
};
TLoaderParameterState ReadSetupCommandLine(const std::wstring &CommandLine,
                                           TSetupCommandLine &Out);

// The value of the last parameter that starts with "/Lang=" (ASCII letters folded), as the
// loader reads its own options; empty when there is none.
std::wstring LangOptionOf(const std::vector<std::wstring> &Parameters);
