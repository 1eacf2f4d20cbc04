#include "setupdata/crc32.h"

#include <atomic>
#include <cstring>

namespace {

// Eight tables for slicing-by-8: table 0 is the classic byte table; table k advances a byte
// that stands k positions further from the end. Same values as the byte-at-a-time update.
uint32_t Crc32Tables[8][256];
std::atomic<uint32_t> Crc32TableReady{0};

void BuildCrc32Tables() {
    for (uint32_t N = 0; N < 256; ++N) {
        uint32_t R = N;
        for (int Bit = 0; Bit < 8; ++Bit)
            R = (R & 1) ? (R >> 1) ^ 0xEDB88320u : R >> 1;
        Crc32Tables[0][N] = R;
    }
    for (uint32_t N = 0; N < 256; ++N)
        for (int K = 1; K < 8; ++K)
            Crc32Tables[K][N] =
                (Crc32Tables[K - 1][N] >> 8) ^ Crc32Tables[0][Crc32Tables[K - 1][N] & 0xFF];
    // Published only after every entry is written; two threads that both build write the same.
    Crc32TableReady.exchange(1, std::memory_order_release);
}

inline uint32_t LoadLe32(const unsigned char *P) {
    return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

} // namespace

uint32_t AccumulateCrc32(uint32_t Register, const void *Data, size_t Size) {
    if (Crc32TableReady.load(std::memory_order_acquire) == 0)
        BuildCrc32Tables();
    const unsigned char *P = static_cast<const unsigned char *>(Data);
    while (Size >= 8) {
        uint32_t Low = LoadLe32(P) ^ Register;
        uint32_t High = LoadLe32(P + 4);
        Register = Crc32Tables[7][Low & 0xFF] ^ Crc32Tables[6][(Low >> 8) & 0xFF] ^
                   Crc32Tables[5][(Low >> 16) & 0xFF] ^ Crc32Tables[4][Low >> 24] ^
                   Crc32Tables[3][High & 0xFF] ^ Crc32Tables[2][(High >> 8) & 0xFF] ^
                   Crc32Tables[1][(High >> 16) & 0xFF] ^ Crc32Tables[0][High >> 24];
        P += 8;
        Size -= 8;
    }
    while (Size-- > 0)
        Register = Crc32Tables[0][(Register ^ *P++) & 0xFF] ^ (Register >> 8);
    return Register;
}
