// LZMA1 compression for the packager, through the SDK's encoder. Owns nothing past the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The settings of every packaged stream: lc 3, lp 0, pb 2 (properties byte 0x5D), 2 MiB
// dictionary, end-of-stream marker written.
constexpr unsigned char PackedLzmaProperties = 0x5D;
constexpr unsigned PackedLzmaDictionarySize = 2u << 20;

// Returns the 5-byte properties header followed by the LZMA stream. Single-threaded, so the
// same input always gives the same bytes. Throws ECompressInternalError when the encoder fails.
std::string LzmaCompress(const void *Data, size_t Size);

// The same with other settings (lc 0..8, lp 0..4, pb 0..4, dictionary 4 KiB..64 MiB), for tests
// and tools that need streams unlike the packaged ones.
std::string LzmaCompressWith(const void *Data, size_t Size, int Lc, int Lp, int Pb,
                             uint32_t DictionarySize);
