// The transform of x86 near call/jump operands (E8/E9) between relative distances and absolute
// positions, done in place on a buffer the caller owns.
#pragma once

#include <cstdint>

// MakeAbsolute true adds the position of the byte behind each instruction to the low 24 bits
// of operands whose top byte is 00 or FF (the packager's direction); false subtracts it (the
// loader's direction). PositionBias is the buffer's offset in the whole program, so that a
// program can be transformed in pieces.
void ConvertCallOperands(void *Data, uint32_t Size, bool MakeAbsolute, uint32_t PositionBias);
