// Message tables for the loader tests: a valid message block built from a few texts, and a
// helper that loads one into LoaderMessages.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

#include "records/messages.h"
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
