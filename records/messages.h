// The process-wide table of 207 message texts (ANSI bytes of the active language) and the
// numbers the loader uses. Filled from a language's message block; cleared at exit.
#pragma once

#include <cstddef>
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

// Message block layout (little-endian):
//    0  64  MessageBlockSignature  "QuovLdr Msgs v1" and 49 zero bytes
//   64   4  MessageCount           must be 207
//   68   4  MessageBlockSize       the whole block, header included
//   72   4  MessageBlockSizeNot    ~MessageBlockSize
//   76   4  MessagesCRC            CRC-32 of bytes 80 .. MessageBlockSize-1
//   80 ...                         207 messages, each ended by a zero byte; the block's last
//                                  byte is zero; bytes behind the 207th are ignored
constexpr size_t MessageBlockHeaderSize = 80;
extern const uint8_t MessageBlockSignature[64];

// Sets every entry to the empty string.
void ClearLoaderMessages();

// Validates a block and replaces the table's entries with its messages. The header and CRC are
// checked before any entry changes; a block short of 207 messages replaces those before the
// missing one. Every failure throws Exception with the built-in setup-corrupt text.
void LoadMessageBlock(const void *Data, size_t Length);

// Expands %1..%9 with the arguments that exist and %% to %; any other % stays as it is. A null
// pattern gives the empty string. Arguments are inserted as they stand.
std::string FormatPattern(const char *Pattern, const std::string *Args, int ArgCount);
std::string FormatLoaderMessage(uint8_t Number, const std::string *Args, int ArgCount);
std::string FormatLoaderMessage1(uint8_t Number, const std::string &Arg);
