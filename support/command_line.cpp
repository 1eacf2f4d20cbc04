#include "support/command_line.h"

#include <type_traits>

namespace {

// The rules are the same for bytes and for UTF-16 units: no character beyond 0x7F is a quote or
// whitespace, so both forms of one command line split alike.
template <typename TChar> bool IsWhitespace(TChar C) {
    const auto B = static_cast<std::make_unsigned_t<TChar>>(C);
    return B >= 0x01 && B <= 0x20;
}

template <typename TChar> const TChar *Scan(const TChar *P, TChar *Dest, int32_t &Count) {
    Count = 0;
    bool InQuotes = false;
    for (; *P != 0 && (InQuotes || !IsWhitespace(*P)); ++P) {
        if (*P == '"') {
            InQuotes = !InQuotes;
        } else {
            if (Dest)
                Dest[Count] = *P;
            ++Count;
        }
    }
    return P;
}

// Everything behind parameter 0 and the whitespace that follows it.
template <typename TChar> const TChar *TailStart(const TChar *CommandLine) {
    int32_t Count;
    const TChar *P = Scan(CommandLine, static_cast<TChar *>(nullptr), Count);
    while (IsWhitespace(*P))
        ++P;
    return P;
}

} // namespace

const char *ScanParameter(const char *P, char *Dest, int32_t &Count) {
    return Scan(P, Dest, Count);
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

std::string CommandTailOf(const char *CommandLine) { return std::string(TailStart(CommandLine)); }

std::wstring CommandTailOf(const wchar_t *CommandLine) {
    return std::wstring(TailStart(CommandLine));
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
