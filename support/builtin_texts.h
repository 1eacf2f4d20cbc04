// The loader's built-in texts: code page 936 bytes, whatever code page the system uses.
#pragma once

#include <cstdint>

// The code page of every text below; tools that show them convert from it.
constexpr uint32_t BuiltinTextCodePage = 936;

// "The setup files are corrupted. Please obtain a new copy of the program."
inline constexpr char SetupCorruptText[] =
    "\xb0\xb2\xd7\xb0\xce\xc4\xbc\xfe\xd2\xd1\xcb\xf0\xbb\xb5\xa3\xac\xc7\xeb\xbb\xf1\xc8\xa1\xb3"
    "\xcc\xd0\xf2\xb5\xc4\xd0\xc2\xb0\xe6\xb1\xbe\xa1\xa3";
// "File I/O error %d"
inline constexpr char FileIoErrorPattern[] = "\xce\xc4\xbc\xfe I/O \xb4\xed\xce\xf3 %d";
// "Compressed block is corrupted"
inline constexpr char CompressedBlockCorruptText[] = "\xd1\xb9\xcb\xf5\xbf\xe9\xd2\xd1\xcb\xf0\xbb\xb5";
// "lzma: Compressed data is corrupted (%d)"
inline constexpr char LzmaDataErrorPattern[] =
    "lzma: \xd1\xb9\xcb\xf5\xca\xfd\xbe\xdd\xd2\xd1\xcb\xf0\xbb\xb5 (%d)";
// "LzmaDecode failed (%d)"
inline constexpr char LzmaDecodeFailedPattern[] = "LzmaDecode \xca\xa7\xb0\xdc (%d)";
// "Out of memory"
inline constexpr char OutOfMemoryText[] = "\xc4\xda\xb4\xe6\xd2\xe7\xb3\xf6";
