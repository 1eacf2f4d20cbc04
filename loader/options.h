// The loader's own command-line options and the parameter string handed to the setup program.
// Options are read from the process command line (support/command_line.h); the string is built
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
