#include "support/command_line.h"

namespace {

constexpr char Quote = '"';

bool IsWhitespace(char C) {
    unsigned char B = static_cast<unsigned char>(C);
    return B >= 0x01 && B <= 0x20;
}

} // namespace

const char *ScanParameter(const char *P, char *Dest, int32_t &Count) {
    Count = 0;
    bool InQuotes = false;
    for (; *P != 0 && (InQuotes || !IsWhitespace(*P)); ++P) {
        if (*P == Quote) {
            InQuotes = !InQuotes;
        } else {
            if (Dest)
                Dest[Count] = *P;
            ++Count;
        }
    }
    return P;
}

const char *TakeParameter(const char *P, std::string &Param) {
    int32_t Count;
    ScanParameter(P, nullptr, Count);
    Param.assign(static_cast<size_t>(Count), '\0');
    P = ScanParameter(P, Count > 0 ? &Param[0] : nullptr, Count);
    while (IsWhitespace(*P))
        ++P;
    return P;
}

std::string CommandTailOf(const char *CommandLine) {
    std::string Program;
    return std::string(TakeParameter(CommandLine, Program));
}

int32_t CountParametersOf(const char *CommandLine) {
    std::string Param;
    const char *P = TakeParameter(CommandLine, Param);
    int32_t Count = 0;
    while (*P != 0) {
        P = TakeParameter(P, Param);
        ++Count;
    }
    return Count;
}

std::string ParameterAtOf(const char *CommandLine, int32_t K) {
    if (K < 1)
        return std::string();
    std::string Param;
    const char *P = CommandLine;
    for (int32_t Taken = 0; Taken <= K; ++Taken) {
        if (*P == 0)
            return std::string();
        P = TakeParameter(P, Param);
    }
    return Param;
}
