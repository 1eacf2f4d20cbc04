#include "support/error_text.h"

uint32_t TrimSystemMessageLength(const char *Text, uint32_t Length) {
    while (Length > 0) {
        unsigned char Last = static_cast<unsigned char>(Text[Length - 1]);
        if (Last > 0x20 && Last != '.')
            break;
        --Length;
    }
    return Length;
}
