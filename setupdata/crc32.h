// The standard CRC-32 (reflected polynomial 0xEDB88320, register preset to all ones, result
// inverted) that protects the offset table, block headers, chunks, message blocks and the program.
#pragma once

#include <cstddef>
#include <cstdint>

// Continues the CRC register over Size bytes; no inversion at either end.
uint32_t AccumulateCrc32(uint32_t Register, const void *Data, size_t Size);

inline uint32_t ComputeCrc32(const void *Data, size_t Size) {
    return ~AccumulateCrc32(0xFFFFFFFFu, Data, Size);
}
