// Writes compressed blocks in the stored form the block reader expects
// (setupdata/block_format.h). Owns nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "setupdata/block_format.h"

// Appends one block holding Payload as it stands. IsCompressed only sets the header flag: the
// caller passes an LZMA stream when it is true. Throws ECompressInternalError, appending
// nothing, when the stored size would reach 2^31 bytes.
void AppendCompressedBlock(std::string &Out, const void *Payload, size_t Size, bool IsCompressed);

// Compresses Data with LzmaCompress and appends it as a compressed block.
void AppendLzmaBlock(std::string &Out, const void *Data, size_t Size);
