#include "records/message_block.h"

#include <cstring>

#include "setupdata/crc32.h"
#include "support/builtin_texts.h"
#include "support/byte_order.h"
#include "support/exceptions.h"

const uint8_t MessageBlockSignature[MessageBlockSignatureSize] = {
    'Q', 'u', 'o', 'v', 'L', 'd', 'r', ' ', 'M', 's', 'g', 's', ' ', 'v', '1'};

namespace {

[[noreturn]] void RaiseBlockFault(TFaultCheck Check, uint64_t Found = 0, uint64_t Expected = 0,
                                  uint64_t At = 0) {
    TDataFault Fault = MakeDataFault(Check, Found, Expected);
    Fault.Structure = TFaultStructure::MessageBlock;
    Fault.ItemOffset = At;
    throw ESetupCorrupt(SetupCorruptText, Fault);
}

} // namespace

void ParseMessageBlock(const void *Data, size_t Length,
                       std::string (&Table)[LoaderMessageCount]) {
    const uint8_t *Block = static_cast<const uint8_t *>(Data);
    if (Length <= MessageBlockHeaderSize)
        RaiseBlockFault(TFaultCheck::MessageBlockShort, Length, MessageBlockHeaderSize + 1);
    if (std::memcmp(Block, MessageBlockSignature, MessageBlockSignatureSize) != 0)
        RaiseBlockFault(TFaultCheck::MessageBlockSignature);
    const uint32_t Count = LoadLe32(Block + MessageCountOffset);
    const uint32_t Size = LoadLe32(Block + MessageBlockSizeOffset);
    const uint32_t SizeNot = LoadLe32(Block + MessageBlockSizeNotOffset);
    const uint32_t Crc = LoadLe32(Block + MessagesCrcOffset);
    if (Size != ~SizeNot || Length != Size)
        RaiseBlockFault(TFaultCheck::MessageBlockSize, Size, Length);
    if (Count != uint32_t(LoaderMessageCount))
        RaiseBlockFault(TFaultCheck::MessageBlockCount, Count, LoaderMessageCount);
    const uint32_t MessagesCrc =
        ComputeCrc32(Block + MessageBlockHeaderSize, Size - MessageBlockHeaderSize);
    if (MessagesCrc != Crc)
        RaiseBlockFault(TFaultCheck::MessageBlockCrc, Crc, MessagesCrc);
    if (Block[Size - 1] != 0)
        RaiseBlockFault(TFaultCheck::MessageBlockUnended, 0, 0, Size - 1);

    // The last byte is zero, so every terminator search stops inside the block.
    size_t Cursor = MessageBlockHeaderSize;
    for (int N = 0; N < LoaderMessageCount; ++N) {
        if (Cursor >= Size)
            RaiseBlockFault(TFaultCheck::MessageBlockMissing, N, LoaderMessageCount, Cursor);
        const char *Start = reinterpret_cast<const char *>(Block + Cursor);
        size_t Len = std::strlen(Start);
        Table[N].assign(Start, Len);
        Cursor += Len + 1;
    }
}
