#include "tools/packlib/message_block_writer.h"

#include <cstring>

#include "setupdata/crc32.h"
#include "support/exceptions.h"

namespace {

void StoreLe32(std::string &Out, size_t Offset, uint32_t Value) {
    for (int I = 0; I < 4; ++I)
        Out[Offset + I] = static_cast<char>((Value >> (8 * I)) & 0xFF);
}

} // namespace

std::string BuildMessageBlock(const std::string (&Messages)[LoaderMessageCount]) {
    std::string Out(MessageBlockHeaderSize, '\0');
    std::memcpy(&Out[0], MessageBlockSignature, sizeof(MessageBlockSignature));
    for (int N = 0; N < LoaderMessageCount; ++N) {
        if (Messages[N].find('\0') != std::string::npos)
            throw ECompressInternalError(FormatWithNumber("message %d holds a zero byte", N));
        Out += Messages[N];
        Out.push_back('\0');
    }
    if (Out.size() > 0xFFFFFFFFu)
        throw ECompressInternalError("message block too large");
    uint32_t Size = static_cast<uint32_t>(Out.size());
    StoreLe32(Out, 64, LoaderMessageCount);
    StoreLe32(Out, 68, Size);
    StoreLe32(Out, 72, ~Size);
    StoreLe32(Out, 76,
              ComputeCrc32(Out.data() + MessageBlockHeaderSize, Size - MessageBlockHeaderSize));
    return Out;
}
