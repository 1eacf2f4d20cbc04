#include "records/messages.h"

#include <cstring>

#include "setupdata/crc32.h"
#include "setupdata/setup_corrupt.h"
#include "support/builtin_texts.h"
#include "support/exceptions.h"

std::string LoaderMessages[LoaderMessageCount];

const uint8_t MessageBlockSignature[64] = {'Q', 'u', 'o', 'v', 'L', 'd', 'r', ' ',
                                           'M', 's', 'g', 's', ' ', 'v', '1'};

namespace {

uint32_t LoadLe32(const uint8_t *P) {
    return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

[[noreturn]] void RaiseBlockError() {
    throw Exception(SetupCorruptText);
}

} // namespace

void ClearLoaderMessages() {
    for (std::string &Message : LoaderMessages)
        std::string().swap(Message);
}

void RaiseSetupCorrupt() {
    const std::string &Text = LoaderMessages[MsgCorruptSetupData];
    throw Exception(Text.empty() ? std::string(SetupCorruptText) : Text);
}

void LoadMessageBlock(const void *Data, size_t Length) {
    const uint8_t *Block = static_cast<const uint8_t *>(Data);
    if (Length <= MessageBlockHeaderSize)
        RaiseBlockError();
    if (std::memcmp(Block, MessageBlockSignature, sizeof(MessageBlockSignature)) != 0)
        RaiseBlockError();
    const uint32_t Count = LoadLe32(Block + 64);
    const uint32_t Size = LoadLe32(Block + 68);
    const uint32_t SizeNot = LoadLe32(Block + 72);
    const uint32_t Crc = LoadLe32(Block + 76);
    if (Size != ~SizeNot || Length != Size || Count != uint32_t(LoaderMessageCount))
        RaiseBlockError();
    if (ComputeCrc32(Block + MessageBlockHeaderSize, Size - MessageBlockHeaderSize) != Crc ||
        Block[Size - 1] != 0)
        RaiseBlockError();

    // The last byte is zero, so every terminator search stops inside the block.
    size_t Cursor = MessageBlockHeaderSize;
    for (int N = 0; N < LoaderMessageCount; ++N) {
        if (Cursor >= Size)
            RaiseBlockError();
        const char *Start = reinterpret_cast<const char *>(Block + Cursor);
        size_t Len = std::strlen(Start);
        LoaderMessages[N].assign(Start, Len);
        Cursor += Len + 1;
    }
}

std::string FormatPattern(const char *Pattern, const std::string *Args, int ArgCount) {
    std::string Result;
    if (!Pattern)
        return Result;
    const char *P = Pattern;
    for (;;) {
        const char *Percent = std::strchr(P, '%');
        if (!Percent) {
            Result += P;
            return Result;
        }
        Result.append(P, Percent - P);
        const char Selector = Percent[1];
        if (Selector >= '1' && Selector <= '9' && Selector - '0' <= ArgCount) {
            Result += Args[Selector - '1'];
            P = Percent + 2;
        } else if (Selector == '%') {
            Result += '%';
            P = Percent + 2;
        } else {
            // Not a placeholder: the % stays, and the selector is ordinary text (or the end).
            Result += '%';
            P = Percent + 1;
        }
    }
}

std::string FormatLoaderMessage(uint8_t Number, const std::string *Args, int ArgCount) {
    if (Number >= LoaderMessageCount)
        return std::string();
    return FormatPattern(LoaderMessages[Number].c_str(), Args, ArgCount);
}

std::string FormatLoaderMessage1(uint8_t Number, const std::string &Arg) {
    return FormatLoaderMessage(Number, &Arg, 1);
}
