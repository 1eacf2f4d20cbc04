// The transform of x86 near call/jump operands (E8/E9) between relative distances and absolute
// positions, done in place on a buffer the caller owns.
#pragma once

#include <cstdint>

// MakeAbsolute true adds the position of the byte behind each instruction to the low 24 bits
// of operands whose top byte is 00 or FF (the packager's direction); false subtracts it (the
// loader's direction). PositionBias is the buffer's offset in the whole program, so that a
// program can be transformed in pieces.
void ConvertCallOperands(void *Data, uint32_t Size, bool MakeAbsolute, uint32_t PositionBias);

// One stretch of the whole-buffer scan: examines the positions from From up to (not including)
// To of a buffer of Size bytes, exactly as ConvertCallOperands does, and returns the position
// where the scan goes on (To or up to 4 beyond it, when an instruction straddles To). An operand
// past To is converted in place, since the buffer holds it. Bytes before To are final afterwards.
uint32_t ConvertCallOperandsStretch(uint8_t *Data, uint32_t Size, uint32_t From, uint32_t To,
                                    bool MakeAbsolute, uint32_t PositionBias);

// Decodes the program in a buffer (MakeAbsolute false, PositionBias 0) and returns the CRC-32 of
// the result, in one pass of cache-sized stretches: each is transformed and then summed while it
// is still in the cache. The result is the same as ConvertCallOperands then ComputeCrc32.
uint32_t DecodeCallOperandsWithCrc32(void *Data, uint32_t Size);
