// The process-wide table of 207 message texts (ANSI bytes of the active language) and the
// numbers the loader uses. Filled from a language's message block; cleared at exit.
#pragma once

#include <cstdint>
#include <string>

constexpr int LoaderMessageCount = 207;

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
