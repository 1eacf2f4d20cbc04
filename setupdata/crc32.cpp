#include "setupdata/crc32.h"

#include <atomic>

#include "support/byte_order.h"

namespace {

// The register runs through four independent lanes of LaneSize bytes at a time, so that the
// table lookups of one lane overlap the others' instead of waiting on a single register; the
// lanes are then joined with the rule CRC(R, A B) = Advance(CRC(R, A), |B|) XOR CRC(0, B).
constexpr int LaneCount = 4;
constexpr size_t LaneSize = 256;

// Crc32Tables[0] is the byte table of the polynomial; table K advances a byte that stands K
// positions before the end of an 8-byte word (slicing-by-8).
uint32_t Crc32Tables[8][256];
// AdvanceTables advance a register over LaneSize zero bytes, one table per byte of the register.
uint32_t AdvanceTables[4][256];
std::atomic<uint32_t> Crc32TableReady{0};

uint32_t AdvanceOverZeros(uint32_t Register, size_t Count) {
    while (Count-- > 0)
        Register = Crc32Tables[0][Register & 0xFF] ^ (Register >> 8);
    return Register;
}

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
    // Advancing over zeros is linear in the register: tabulate it from the 32 single bits.
    uint32_t OfBit[32];
    for (int Bit = 0; Bit < 32; ++Bit)
        OfBit[Bit] = AdvanceOverZeros(uint32_t(1) << Bit, LaneSize);
    for (int Byte = 0; Byte < 4; ++Byte)
        for (uint32_t N = 0; N < 256; ++N) {
            uint32_t R = 0;
            for (int Bit = 0; Bit < 8; ++Bit)
                if (N >> Bit & 1)
                    R ^= OfBit[Byte * 8 + Bit];
            AdvanceTables[Byte][N] = R;
        }
    // Published only after every entry is written; two threads that both build write the same.
    Crc32TableReady.exchange(1, std::memory_order_release);
}

inline uint32_t Update8(uint32_t Register, const unsigned char *P) {
    const uint32_t Low = LoadLe32(P) ^ Register;
    const uint32_t High = LoadLe32(P + 4);
    return Crc32Tables[7][Low & 0xFF] ^ Crc32Tables[6][(Low >> 8) & 0xFF] ^
           Crc32Tables[5][(Low >> 16) & 0xFF] ^ Crc32Tables[4][Low >> 24] ^
           Crc32Tables[3][High & 0xFF] ^ Crc32Tables[2][(High >> 8) & 0xFF] ^
           Crc32Tables[1][(High >> 16) & 0xFF] ^ Crc32Tables[0][High >> 24];
}

inline uint32_t AdvanceOverLane(uint32_t Register) {
    return AdvanceTables[0][Register & 0xFF] ^ AdvanceTables[1][(Register >> 8) & 0xFF] ^
           AdvanceTables[2][(Register >> 16) & 0xFF] ^ AdvanceTables[3][Register >> 24];
}

} // namespace

uint32_t AccumulateCrc32(uint32_t Register, const void *Data, size_t Size) {
    if (Crc32TableReady.load(std::memory_order_acquire) == 0)
        BuildCrc32Tables();
    const unsigned char *P = static_cast<const unsigned char *>(Data);
    while (Size >= LaneCount * LaneSize) {
        uint32_t Lane[LaneCount] = {Register};
        for (size_t I = 0; I < LaneSize; I += 8)
            for (int K = 0; K < LaneCount; ++K)
                Lane[K] = Update8(Lane[K], P + K * LaneSize + I);
        Register = Lane[0];
        for (int K = 1; K < LaneCount; ++K)
            Register = AdvanceOverLane(Register) ^ Lane[K];
        P += LaneCount * LaneSize;
        Size -= LaneCount * LaneSize;
    }
    while (Size >= 8) {
        Register = Update8(Register, P);
        P += 8;
        Size -= 8;
    }
    while (Size-- > 0)
        Register = Crc32Tables[0][(Register ^ *P++) & 0xFF] ^ (Register >> 8);
    return Register;
}
