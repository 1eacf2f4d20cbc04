#include "setuplib/setup_command_line.h"

namespace {

bool IsSeparator(wchar_t C) { return C >= 1 && C <= 32; }

wchar_t FoldAscii(wchar_t C) { return C >= L'a' && C <= L'z' ? C - (L'a' - L'A') : C; }

// True when Text starts with Prefix, ASCII letters folded.
bool StartsWithAscii(const std::wstring &Text, const wchar_t *Prefix) {
    size_t I = 0;
    for (; Prefix[I] != 0; ++I)
        if (I >= Text.size() || FoldAscii(Text[I]) != FoldAscii(Prefix[I]))
            return false;
    return true;
}

int HexDigitValue(wchar_t C) {
    if (C >= L'0' && C <= L'9')
        return C - L'0';
    C = FoldAscii(C);
    return C >= L'A' && C <= L'F' ? C - L'A' + 10 : -1;
}

// A signed 32-bit decimal at Text[Pos] ending at a comma; Pos moves behind the comma.
bool ReadDecimal(const std::wstring &Text, size_t &Pos, uint32_t &Value) {
    const bool Negative = Pos < Text.size() && Text[Pos] == L'-';
    if (Negative)
        ++Pos;
    const size_t Start = Pos;
    uint64_t Magnitude = 0;
    for (; Pos < Text.size() && Text[Pos] >= L'0' && Text[Pos] <= L'9'; ++Pos) {
        Magnitude = Magnitude * 10 + static_cast<uint64_t>(Text[Pos] - L'0');
        if (Magnitude > (Negative ? 0x80000000u : 0x7FFFFFFFu))
            return false;
    }
    if (Pos == Start || Pos >= Text.size() || Text[Pos] != L',')
        return false;
    ++Pos;
    Value = static_cast<uint32_t>(Negative ? 0u - Magnitude : Magnitude);
    return true;
}

} // namespace

std::vector<std::wstring> SplitParameters(const std::wstring &CommandLine) {
    std::vector<std::wstring> Parameters;
    size_t Pos = 0;
    const size_t End = CommandLine.size();
    // Parameter 0 is taken even when the line starts with a separator (an empty name).
    do {
        std::wstring Parameter;
        bool InQuotes = false;
        for (; Pos < End && CommandLine[Pos] != 0 && (InQuotes || !IsSeparator(CommandLine[Pos]));
             ++Pos) {
            if (CommandLine[Pos] == L'"')
                InQuotes = !InQuotes;
            else
                Parameter += CommandLine[Pos];
        }
        Parameters.push_back(Parameter);
        while (Pos < End && IsSeparator(CommandLine[Pos]))
            ++Pos;
    } while (Pos < End && CommandLine[Pos] != 0);
    return Parameters;
}

TLoaderParameterState ReadLoaderParameter(const std::wstring &Parameter, TLoaderParameter &Out) {
    static const wchar_t Prefix[] = L"/SL5=";
    if (!StartsWithAscii(Parameter, Prefix))
        return TLoaderParameterState::Missing;
    size_t Pos = sizeof(Prefix) / sizeof(Prefix[0]) - 1;
    if (Pos >= Parameter.size() || Parameter[Pos] != L'$')
        return TLoaderParameterState::Malformed;
    ++Pos;
    TLoaderParameter Result;
    size_t Digits = 0;
    for (int V; Pos < Parameter.size() && (V = HexDigitValue(Parameter[Pos])) >= 0; ++Pos) {
        if (++Digits > 8)
            return TLoaderParameterState::Malformed;
        Result.Window = Result.Window << 4 | static_cast<uint32_t>(V);
    }
    if (Digits == 0 || Pos >= Parameter.size() || Parameter[Pos] != L',')
        return TLoaderParameterState::Malformed;
    ++Pos;
    if (!ReadDecimal(Parameter, Pos, Result.SetupDataOffset) ||
        !ReadDecimal(Parameter, Pos, Result.SecondDataOffset) || Pos >= Parameter.size())
        return TLoaderParameterState::Malformed;
    Result.LoaderPath = Parameter.substr(Pos);
    Out = Result;
    return TLoaderParameterState::Found;
}

TLoaderParameterState ReadSetupCommandLine(const std::wstring &CommandLine,
                                           TSetupCommandLine &Out) {
    std::vector<std::wstring> Parameters = SplitParameters(CommandLine);
    if (Parameters.size() < 2)
        return TLoaderParameterState::Missing;
    TSetupCommandLine Result;
    const TLoaderParameterState State = ReadLoaderParameter(Parameters[1], Result.Loader);
    if (State != TLoaderParameterState::Found)
        return State;
    Result.Rest.assign(Parameters.begin() + 2, Parameters.end());
    Out = std::move(Result);
    return State;
}

std::wstring LangOptionOf(const std::vector<std::wstring> &Parameters) {
    static const wchar_t Prefix[] = L"/Lang=";
    std::wstring Value;
    for (const std::wstring &P : Parameters)
        if (StartsWithAscii(P, Prefix))
            Value = P.substr(sizeof(Prefix) / sizeof(Prefix[0]) - 1);
    return Value;
}
