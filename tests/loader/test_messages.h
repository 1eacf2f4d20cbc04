// Message tables for the loader tests: a valid message block built from a few texts, a helper
// that loads one into LoaderMessages, and language entries carrying such blocks.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

#include "records/messages.h"
#include "records/setup_records.h"
#include "setupdata/crc32.h"

// A block whose message N holds Text for every {N, Text} given; all other messages are empty.
inline std::string BuildTestMessageBlock(
    std::initializer_list<std::pair<int, std::string>> Texts) {
    std::string Messages[LoaderMessageCount];
    for (const auto &T : Texts)
        Messages[T.first] = T.second;
    std::string Body;
    for (const std::string &M : Messages)
        Body += M + '\0';
    std::string Block(MessageBlockHeaderSize, '\0');
    std::memcpy(&Block[0], MessageBlockSignature, sizeof(MessageBlockSignature));
    const uint32_t Fields[4] = {LoaderMessageCount,
                                static_cast<uint32_t>(MessageBlockHeaderSize + Body.size()),
                                ~static_cast<uint32_t>(MessageBlockHeaderSize + Body.size()),
                                ComputeCrc32(Body.data(), Body.size())};
    for (int I = 0; I < 4; ++I)
        for (int B = 0; B < 4; ++B)
            Block[64 + 4 * I + B] = static_cast<char>(Fields[I] >> (8 * B));
    return Block + Body;
}

inline void LoadTestMessages(std::initializer_list<std::pair<int, std::string>> Texts) {
    const std::string Block = BuildTestMessageBlock(Texts);
    LoadMessageBlock(Block.data(), Block.size());
}

// An entry whose message 0 names it, so that a test can see which block was loaded.
inline TSetupLanguageEntry MakeTestLanguage(const std::string &Name, uint32_t LanguageID,
                                            uint32_t CodePage) {
    TSetupLanguageEntry Entry;
    Entry.Strings[0] = Name;
    Entry.Strings[SetupLanguageMessageBlockIndex] = BuildTestMessageBlock({{0, Name}});
    for (int B = 0; B < 4; ++B) {
        Entry.Fixed[B] = static_cast<uint8_t>(LanguageID >> (8 * B));
        Entry.Fixed[4 + B] = static_cast<uint8_t>(CodePage >> (8 * B));
    }
    return Entry;
}
