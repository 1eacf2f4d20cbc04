#include "support/exceptions.h"

#include "support/builtin_texts.h"

EOutOfMemory::EOutOfMemory() : Exception(OutOfMemoryText) {}

std::string FormatWithNumber(const char *Pattern, int32_t Value) {
    char Digits[12];
    int Pos = sizeof(Digits);
    uint32_t Magnitude = Value < 0 ? 0u - static_cast<uint32_t>(Value) : static_cast<uint32_t>(Value);
    do {
        Digits[--Pos] = static_cast<char>('0' + Magnitude % 10);
        Magnitude /= 10;
    } while (Magnitude != 0);
    if (Value < 0)
        Digits[--Pos] = '-';
    std::string Result;
    for (const char *P = Pattern; *P; ++P) {
        if (P[0] == '%' && P[1] == 'd') {
            Result.append(Digits + Pos, sizeof(Digits) - Pos);
            ++P;
        } else {
            Result.push_back(*P);
        }
    }
    return Result;
}
