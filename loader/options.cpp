#include "loader/options.h"

#include "support/ascii_text.h"
#include "support/command_line.h"
#include "support/exceptions.h"

namespace {

// The first Count bytes of P, or all of P when it is shorter.
std::string Head(const std::string &P, size_t Count) { return P.substr(0, Count); }

void AppendHex(std::string &Out, uint32_t Value) {
    char Digits[8];
    int Pos = sizeof(Digits);
    do {
        Digits[--Pos] = "0123456789ABCDEF"[Value & 15];
        Value >>= 4;
    } while (Value != 0);
    Out.append(Digits + Pos, sizeof(Digits) - Pos);
}

} // namespace

TLoaderOptions ReadLoaderOptions(const std::vector<std::string> &Parameters) {
    static const std::string SpawnPrefix = "/SPAWNWND=";
    static const std::string LangPrefix = "/Lang=";
    TLoaderOptions Options;
    for (const std::string &P : Parameters) {
        if (SameTextAscii(P, "/SP-"))
            Options.SuppressStartupPrompt = true;
        else if (SameTextAscii(Head(P, SpawnPrefix.size()), SpawnPrefix))
            Options.SuppressStartupPrompt = true;
        else if (SameTextAscii(Head(P, LangPrefix.size()), LangPrefix))
            Options.LangOption = P.substr(LangPrefix.size());
    }
    return Options;
}

TLoaderOptions ParseLoaderOptions() {
    std::vector<std::string> Parameters;
    const int32_t Count = CountParameters();
    for (int32_t K = 1; K <= Count; ++K)
        Parameters.push_back(ParameterAt(K));
    return ReadLoaderOptions(Parameters);
}

std::string BuildChildParameters(uint32_t LoaderWindow, uint32_t SetupDataOffset,
                                 uint32_t SecondDataOffset, const std::string &SelfPath,
                                 const std::string &CommandTail) {
    std::string Result = "/SL5=\"$";
    AppendHex(Result, LoaderWindow);
    Result += FormatWithNumber(",%d,", static_cast<int32_t>(SetupDataOffset));
    Result += FormatWithNumber("%d,", static_cast<int32_t>(SecondDataOffset));
    Result += SelfPath;
    Result += "\" ";
    Result += CommandTail;
    return Result;
}
