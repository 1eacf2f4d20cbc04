// A code-page-936 lead-byte test (0x81..0xFE) for the path scanners, so that double-byte cases
// run on every platform; characters are found by walking from the start.
#pragma once

#include "support/path.h"

inline bool IsCp936LeadByte(unsigned char B) {
    return B >= 0x81 && B <= 0xFE;
}

inline const TCharScanner Cp936Scanner = {IsCp936LeadByte, nullptr};
