// Builds a language's message block in the form the loader validates. Owns nothing.
#pragma once

#include <string>

#include "records/messages.h"

// The 80-byte header (signature, count 207, size, its complement, CRC of the rest), then the
// 207 messages each followed by a zero byte. Throws ECompressInternalError for a message that
// holds a zero byte (it would end the message early) or a block of 4 GiB or more.
std::string BuildMessageBlock(const std::string (&Messages)[LoaderMessageCount]);
