#include "tools/packlib/message_block_writer.h"

#include <cstring>

#include "setupdata/crc32.h"
#include "support/byte_order.h"
#include "support/exceptions.h"

std::string BuildMessageBlock(const std::string (&Messages)[LoaderMessageCount]) {
    std::string Out(MessageBlockHeaderSize, '\0');
    std::memcpy(&Out[0], MessageBlockSignature, MessageBlockSignatureSize);
    for (int N = 0; N < LoaderMessageCount; ++N) {
        if (Messages[N].find('\0') != std::string::npos)
            throw ECompressInternalError(FormatWithNumber("message %d holds a zero byte", N));
        Out += Messages[N];
        Out.push_back('\0');
    }
    if (Out.size() > 0xFFFFFFFFu)
        throw ECompressInternalError("message block too large");
    uint32_t Size = static_cast<uint32_t>(Out.size());
    StoreLe32(&Out[MessageCountOffset], LoaderMessageCount);
    StoreLe32(&Out[MessageBlockSizeOffset], Size);
    StoreLe32(&Out[MessageBlockSizeNotOffset], ~Size);
    StoreLe32(&Out[MessagesCrcOffset],
              ComputeCrc32(Out.data() + MessageBlockHeaderSize, Size - MessageBlockHeaderSize));
    return Out;
}
