// A language's message block: the loader's messages in one language, CRC-protected, stored in
// the language entry. Parsed into a table the caller gives; written by the packager's message
// block writer.
//
// Layout (little-endian):
//    0  64  MessageBlockSignature  "QuovLdr Msgs v1" and 49 zero bytes
//   64   4  MessageCount           must be LoaderMessageCount (207)
//   68   4  MessageBlockSize       the whole block, header included
//   72   4  MessageBlockSizeNot    ~MessageBlockSize
//   76   4  MessagesCRC            CRC-32 of bytes 80 .. MessageBlockSize-1
//   80 ...                         the messages, each ended by a zero byte; the block's last
//                                  byte is zero; bytes behind the last message are ignored
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int LoaderMessageCount = 207;

constexpr uint32_t MessageBlockSignatureSize = 64;
constexpr uint32_t MessageCountOffset = 64;
constexpr uint32_t MessageBlockSizeOffset = 68;
constexpr uint32_t MessageBlockSizeNotOffset = 72;
constexpr uint32_t MessagesCrcOffset = 76;
constexpr uint32_t MessageBlockHeaderSize = 80;
extern const uint8_t MessageBlockSignature[MessageBlockSignatureSize];

// Validates the Length bytes at Data as a block and replaces Table's entries with its
// messages. The header and the CRC are checked before any entry changes; a block short of
// LoaderMessageCount messages replaces those before the missing one. Every failure throws
// ESetupCorrupt with the built-in setup-corrupt text and a fault whose offsets count from the
// block's start.
void ParseMessageBlock(const void *Data, size_t Length,
                       std::string (&Table)[LoaderMessageCount]);
