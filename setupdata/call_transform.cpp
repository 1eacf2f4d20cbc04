#include "setupdata/call_transform.h"

void ConvertCallOperands(void *Data, uint32_t Size, bool MakeAbsolute, uint32_t PositionBias) {
    if (Size < 5)
        return;
    uint8_t *P = static_cast<uint8_t *>(Data);
    const uint32_t Last = Size - 5;
    for (uint32_t I = 0; I <= Last;) {
        if ((P[I] & 0xFE) != 0xE8) {
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
}
