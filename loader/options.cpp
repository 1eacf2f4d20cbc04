#include "loader/options.h"

#include <algorithm>

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

std::string BuildChildCommandLine(const std::string &ExePath, const std::string &Parameters) {
    return "\"" + ExePath + "\" " + Parameters;
}

std::wstring BuildWideChildCommandLine(const std::string &CommandLine, size_t AnsiTailLength,
                                       const std::wstring &WideTail,
                                       bool (*ToAnsi)(const std::wstring &, std::string &),
                                       size_t (*ToWide)(const char *, size_t, wchar_t *)) {
    std::wstring Line;
    std::string Exact;
    if (!ToAnsi(WideTail, Exact)) {
        // A byte never gives more than one UTF-16 unit: the head and the tail fit.
        const size_t HeadLength = CommandLine.size() - AnsiTailLength;
        Line.resize(HeadLength + WideTail.size());
        const size_t Count = ToWide(CommandLine.data(), HeadLength, &Line[0]);
        std::copy(WideTail.begin(), WideTail.end(), Line.begin() + Count);
        Line.resize(Count == 0 ? 0 : Count + WideTail.size());
    }
    return Line;
}
