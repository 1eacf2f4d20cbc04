// LZMA1 compression for the packager, through the SDK's encoder. Owns nothing past the call.
#pragma once

#include <cstddef>
#include <string>

// The settings of every packaged stream: lc 3, lp 0, pb 2 (properties byte 0x5D), 2 MiB
// dictionary, end-of-stream marker written.
constexpr unsigned char PackedLzmaProperties = 0x5D;
constexpr unsigned PackedLzmaDictionarySize = 2u << 20;

// Returns the 5-byte properties header followed by the LZMA stream. Single-threaded, so the
// same input always gives the same bytes. Throws ECompressInternalError when the encoder fails.
std::string LzmaCompress(const void *Data, size_t Size);
