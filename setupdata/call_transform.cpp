#include "setupdata/call_transform.h"

#include <cstddef>
#include <cstring>

#include "setupdata/crc32.h"

namespace {

// Stretches of the combined pass: small enough to stay in the first- or second-level cache
// between the transform and the CRC.
constexpr uint32_t CachedStretch = 32 * 1024;

// Machine words scanned at once for an opcode byte. A byte is E8 or E9 when, with its lowest bit
// cleared, it equals E8; the classic zero-byte test then marks such bytes in the whole word. Its
// lowest mark is always exact (a false mark can only follow a true one), and on a little-endian
// machine the lowest mark is the first byte in memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the word scan reads bytes in order");
using TWord = uintptr_t;
constexpr TWord EveryByte = ~TWord(0) / 0xFF; // 0x0101...
constexpr TWord HighBits = EveryByte * 0x80;

// The offset of the first E8/E9 byte in the word at P, or sizeof(TWord) when there is none.
inline uint32_t FirstOpcodeInWord(const uint8_t *P) {
    TWord Word;
    std::memcpy(&Word, P, sizeof Word);
    const TWord Diff = (Word & (EveryByte * 0xFE)) ^ (EveryByte * 0xE8);
    const TWord Marks = (Diff - EveryByte) & ~Diff & HighBits;
    if (Marks == 0)
        return sizeof(TWord);
    return static_cast<uint32_t>(__builtin_ctzll(Marks)) / 8;
}

} // namespace

uint32_t ConvertCallOperandsStretch(uint8_t *P, uint32_t Size, uint32_t From, uint32_t To,
                                    bool MakeAbsolute, uint32_t PositionBias) {
    // The last position examined is Size - 5: the operand must lie inside the buffer.
    const uint32_t End = Size < 5 ? 0 : (To < Size - 4 ? To : Size - 4);
    uint32_t I = From;
    while (I < End) {
        if (I + sizeof(TWord) <= End) {
            const uint32_t Skip = FirstOpcodeInWord(P + I);
            I += Skip;
            if (Skip == sizeof(TWord))
                continue;
        } else if ((P[I] & 0xFE) != 0xE8) {
            ++I;
            continue;
        }
        uint8_t Top = P[I + 4];
        if (Top == 0x00 || Top == 0xFF) {
            uint32_t Delta = PositionBias + I + 5;
            if (!MakeAbsolute)
                Delta = 0u - Delta;
            // Only the low 24 bits change; the carry out of the third byte is dropped, so the
            // top byte that selected this operand stays as it was.
            uint32_t Low = uint32_t(P[I + 1]) | uint32_t(P[I + 2]) << 8 | uint32_t(P[I + 3]) << 16;
            Low += Delta;
            P[I + 1] = static_cast<uint8_t>(Low);
            P[I + 2] = static_cast<uint8_t>(Low >> 8);
            P[I + 3] = static_cast<uint8_t>(Low >> 16);
        }
        // The operand bytes are never taken for opcodes.
        I += 5;
    }
    return I > To ? I : To;
}

void ConvertCallOperands(void *Data, uint32_t Size, bool MakeAbsolute, uint32_t PositionBias) {
    ConvertCallOperandsStretch(static_cast<uint8_t *>(Data), Size, 0, Size, MakeAbsolute,
                               PositionBias);
}

uint32_t DecodeCallOperandsWithCrc32(void *Data, uint32_t Size) {
    uint8_t *P = static_cast<uint8_t *>(Data);
    uint32_t Crc = 0xFFFFFFFFu;
    uint32_t Scanned = 0;
    for (uint32_t Done = 0; Done < Size;) {
        const uint32_t To = Size - Done > CachedStretch ? Done + CachedStretch : Size;
        Scanned = ConvertCallOperandsStretch(P, Size, Scanned, To, /*MakeAbsolute=*/false,
                                             /*PositionBias=*/0);
        // Every instruction that starts before To has been converted, so the bytes up to To are
        // final; an operand that runs past To is converted already and summed with the next
        // stretch.
        Crc = AccumulateCrc32(Crc, P + Done, To - Done);
        Done = To;
    }
    return ~Crc;
}
