#include "filesetup/area_file.h"

#include <algorithm>
#include <cstring>

namespace {

// Reads from the area in this size, so that the block reader's small reads cost no call each.
constexpr uint32_t AreaBufferSize = 64u << 10;
// Win32 ERROR_READ_FAULT, ERROR_ACCESS_DENIED
constexpr uint32_t ReadFaultCode = 30;
constexpr uint32_t AccessDeniedCode = 5;

} // namespace

TSetupAreaFile::TSetupAreaFile(quov_setup *Setup, int32_t Area) : FSetup(Setup), FArea(Area) {
    uint64_t Offset = 0;
    if (quov_setup_area(Setup, Area, &Offset, &FLength) != QUOV_OK)
        RaiseFileError(ReadFaultCode);
    FBuffer.resize(AreaBufferSize);
}

uint32_t TSetupAreaFile::Read(void *Buffer, uint32_t Count) {
    uint8_t *Out = static_cast<uint8_t *>(Buffer);
    uint32_t Done = 0;
    while (Done < Count && FPosition < FLength) {
        if (FPosition < FBufferStart || FPosition >= FBufferStart + FBuffered) {
            const uint64_t Left = FLength - FPosition;
            const uint32_t Want = static_cast<uint32_t>(std::min<uint64_t>(Left, AreaBufferSize));
            if (quov_setup_read_area(FSetup, FArea, FPosition, FBuffer.data(), Want) != QUOV_OK)
                RaiseFileError(ReadFaultCode);
            FBufferStart = FPosition;
            FBuffered = Want;
        }
        const uint32_t At = static_cast<uint32_t>(FPosition - FBufferStart);
        const uint32_t N = std::min(Count - Done, FBuffered - At);
        std::memcpy(Out + Done, FBuffer.data() + At, N);
        Done += N;
        FPosition += N;
    }
    return Done;
}

void TSetupAreaFile::Write(const void *, uint32_t) { RaiseFileError(AccessDeniedCode); }
