// LZMA1 compression for the packager, through the SDK's encoder. Owns nothing past the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "setupdata/lzma_decompressor.h"

// The settings of every packaged stream: lc 3, lp 0, pb 2 (properties byte 0x5D), end-of-stream
// marker written. The setup records use a 2 MiB dictionary.
constexpr unsigned char PackedLzmaProperties = 0x5D;
constexpr unsigned PackedLzmaDictionarySize = 2u << 20;

// The setup program's stream has the dictionary the author asks for, between these bounds (the
// upper one is the loader's), 128 fast bytes and 400 match cycles. The default dictionary was
// measured on 30 MB of x86 code: below it the installer grows quickly, above it the gain is
// about 0.2% per doubling while the encoder's memory doubles (about 11.5 bytes per dictionary
// byte).
constexpr uint32_t MinProgramDictionarySize = 4u << 10;
constexpr uint32_t MaxProgramDictionarySize = LzmaMaxDictionarySize;
constexpr uint32_t DefaultProgramDictionarySize = 16u << 20;

// Reports how many input bytes the encoder has taken so far.
using TLzmaProgress = std::function<void(uint64_t Done)>;

// Returns the 5-byte properties header followed by the LZMA stream. Single-threaded, so the
// same input always gives the same bytes. Throws ECompressInternalError when the encoder fails.
std::string LzmaCompress(const void *Data, size_t Size);

// The setup program's stream. The header records DictionarySize rounded up to 2^n or 3 * 2^n,
// or the smallest such size that holds all of Data when Data is smaller: a window larger than
// the data finds nothing more and only costs the loader memory.
std::string LzmaCompressProgram(const void *Data, size_t Size, uint32_t DictionarySize,
                                const TLzmaProgress &Progress = nullptr);

// The same with other settings (lc 0..8, lp 0..4, pb 0..4, dictionary 4 KiB..64 MiB), for tests
// and tools that need streams unlike the packaged ones.
std::string LzmaCompressWith(const void *Data, size_t Size, int Lc, int Lp, int Pb,
                             uint32_t DictionarySize);
