#include "tests/e2e_hardening/hardening_cases.h"

#include "records/messages.h"
#include "support/error_text.h"

std::string HardeningCases() {
    return TestProgramDirectory() + "hardening_cases\\";
}

std::string EnglishMessage(const std::string &Key) {
    const std::string Text = ReadWholeFile(std::string("Z:") + QUOV_EN_MESSAGES);
    const std::string Prefix = Key + " = ";
    size_t At = Text.find("\n" + Prefix);
    if (At == std::string::npos)
        return std::string();
    At += 1 + Prefix.size();
    const std::string Raw = Text.substr(At, Text.find('\n', At) - At);
    std::string Decoded;
    for (size_t I = 0; I < Raw.size(); ++I) {
        if (Raw[I] != '\\' || I + 1 == Raw.size()) {
            Decoded += Raw[I];
            continue;
        }
        const char Escape = Raw[++I];
        Decoded += Escape == 'n'   ? '\n'
                   : Escape == 'r' ? '\r'
                   : Escape == 't' ? '\t'
                   : Escape == 's' ? ' '
                                   : Escape;
    }
    return Decoded;
}

std::string EnglishSystemErrorBox(const std::string &Operation, uint32_t Code) {
    const std::string Args[3] = {Operation, std::to_string(static_cast<int32_t>(Code)),
                                 SystemErrorText(Code)};
    return TerminateSentence(FormatPattern(EnglishMessage("SystemErrorFormat").c_str(), Args, 3));
}

TLoaderRun RunOf(const std::string &LoaderPath) {
    TLoaderRun Run;
    Run.LoaderPath = LoaderPath;
    Run.Answers = {IDOK};
    return Run;
}
