// The process-wide table of 207 message texts (ANSI bytes of the active language) and the
// numbers the loader uses. Filled from a language's message block; cleared at exit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "records/message_block.h"

struct TDataFault;

enum TLoaderMessage : uint8_t {
    MsgCreateDirFailed = 47,
    MsgRestartFailed = 66,
    MsgErrorCaption = 68,
    MsgDirFull = 69,
    MsgSystemErrorFormat = 96,
    MsgTempFileFailed = 97,
    MsgChildStartFailed = 98,
    MsgSetupCaption = 148,
    MsgCorruptSetupData = 149,
    MsgStartupPrompt = 152,
};

extern std::string LoaderMessages[LoaderMessageCount];

// Sets every entry to the empty string.
void ClearLoaderMessages();

// ParseMessageBlock into LoaderMessages.
void LoadMessageBlock(const void *Data, size_t Length);

// Throws ESetupCorrupt with Fault: message 149 of the active language, or the built-in text
// while that message is empty.
[[noreturn]] void RaiseSetupCorrupt(const TDataFault &Fault);

// Expands %1..%9 with the arguments that exist and %% to %; any other % stays as it is. A null
// pattern gives the empty string. Arguments are inserted as they stand.
std::string FormatPattern(const char *Pattern, const std::string *Args, int ArgCount);
std::string FormatLoaderMessage(uint8_t Number, const std::string *Args, int ArgCount);
std::string FormatLoaderMessage1(uint8_t Number, const std::string &Arg);
