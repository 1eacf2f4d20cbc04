// Any bytes as a command line: the parameter scanner, the loader's option parser over what it
// finds (on the given text and through the process command line), and the setup program's
// parameter string built from the tail, read back as the setup program's library reads it. The
// scanner's own promises are checked as it goes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "loader/options.h"
#include "setuplib/setup_command_line.h"
#include "support/ascii_text.h"
#include "support/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
    // The system hands over a zero-terminated line: everything behind a zero byte is unseen.
    const std::string Line(reinterpret_cast<const char *>(Data), Size);
    const char *Text = Line.c_str();
    const size_t Length = std::strlen(Text);

    const int32_t Count = CountParametersOf(Text);
    if (Count < 0 || static_cast<size_t>(Count) > Length)
        __builtin_trap();
    std::vector<std::string> Parameters;
    for (int32_t K = 1; K <= Count; ++K) {
        Parameters.push_back(ParameterAtOf(Text, K));
        // Quotes only group; they never reach a parameter.
        if (Parameters.back().find('"') != std::string::npos)
            __builtin_trap();
    }
    if (!ParameterAtOf(Text, Count + 1).empty() || !ParameterAtOf(Text, 0).empty())
        __builtin_trap();

    // The tail is a suffix of the line, and scanning it finds the same parameters.
    const std::string Tail = CommandTailOf(Text);
    if (Tail.size() > Length || std::memcmp(Text + Length - Tail.size(), Tail.data(), Tail.size()))
        __builtin_trap();
    std::string Param;
    int32_t Again = 0;
    for (const char *P = Tail.c_str(); *P != 0; ++Again) {
        const char *Next = TakeParameter(P, Param);
        if (Next <= P || Again >= Count || Param != Parameters[static_cast<size_t>(Again)])
            __builtin_trap();
        P = Next;
    }
    if (Again != Count)
        __builtin_trap();

    const TLoaderOptions Options = ReadLoaderOptions(Parameters);
    SetHostCommandLine(Line.substr(0, Length), "C:\\setup.exe");
    const TLoaderOptions Parsed = ParseLoaderOptions();
    if (Parsed.SuppressStartupPrompt != Options.SuppressStartupPrompt ||
        Parsed.LangOption != Options.LangOption || CountParameters() != Count ||
        CommandTail() != Tail)
        __builtin_trap();
    if (Count > 0)
        SameTextAscii(Parameters.front(), Parameters.back());
    // A loader path may hold anything but a quote: the first parameter serves as one.
    const std::string Path = Count > 0 && !Parameters[0].empty() ? Parameters[0] : "C:\\a.exe";
    const std::string Built = BuildChildParameters(0x1234u, 0x80000000u, 7, Path, Tail);
    // Bytes as wide characters one to one: the separators and quotes are the same in both.
    auto Widen = [](const std::string &Bytes) {
        std::wstring Wide;
        for (unsigned char B : Bytes)
            Wide += static_cast<wchar_t>(B);
        return Wide;
    };
    TSetupCommandLine Read;
    if (ReadSetupCommandLine(L"\"C:\\t\\setup.tmp\" " + Widen(Built), Read) !=
            TLoaderParameterState::Found ||
        Read.Loader.Window != 0x1234u || Read.Loader.SetupDataOffset != 0x80000000u ||
        Read.Loader.SecondDataOffset != 7 || Read.Loader.LoaderPath != Widen(Path) ||
        Read.Rest.size() != Parameters.size() ||
        LangOptionOf(Read.Rest) != Widen(Options.LangOption))
        __builtin_trap();
    for (size_t I = 0; I < Parameters.size(); ++I)
        if (Read.Rest[I] != Widen(Parameters[I]))
            __builtin_trap();
    return 0;
}
