// The demo's message-box driver: starts a packaged installer with its own TMP directory, prints
// every box it shows (caption and text, converted to UTF-8 for the terminal), answers it, and
// reports the exit code and whether the temporary directory was left empty.
// Usage: box_driver [--hold MARKER DONE] INSTALLER ANSWER...   (ANSWER: yes, no or ok)
// With --hold, the first box stays up until the file DONE exists (at most 20 s); MARKER is
// created when it appears, so that a screenshot can be taken meanwhile.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

std::string ToUtf8(const std::string &Ansi) {
    int WideCount = ::MultiByteToWideChar(CP_ACP, 0, Ansi.data(), (int)Ansi.size(), nullptr, 0);
    std::wstring Wide(WideCount, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, Ansi.data(), (int)Ansi.size(), &Wide[0], WideCount);
    int Count = ::WideCharToMultiByte(CP_UTF8, 0, Wide.data(), WideCount, nullptr, 0, nullptr,
                                      nullptr);
    std::string Utf8(Count, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, Wide.data(), WideCount, &Utf8[0], Count, nullptr, nullptr);
    return Utf8;
}

bool FileExists(const std::string &Path) {
    return ::GetFileAttributesA(Path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

int main(int Argc, char **Argv) {
    int Arg = 1;
    std::string Marker, Done;
    if (Arg + 2 < Argc && std::string(Argv[Arg]) == "--hold") {
        Marker = Argv[Arg + 1];
        Done = Argv[Arg + 2];
        Arg += 3;
    }
    if (Arg >= Argc) {
        std::fprintf(stderr, "usage: box_driver [--hold MARKER DONE] INSTALLER ANSWER...\n");
        return 2;
    }
    TLoaderRun Run;
    Run.LoaderPath = Argv[Arg++];
    for (; Arg < Argc; ++Arg) {
        std::string Answer = Argv[Arg];
        Run.Answers.push_back(Answer == "yes" ? IDYES : Answer == "no" ? IDNO : IDOK);
    }
    Run.TimeoutMs = 60000;
    Run.BoxesOfChildren = true;
    bool Held = Marker.empty();
    Run.BeforeAnswer = [&](const TMessageBox &Box) {
        std::printf("box: [%s] %s\n", ToUtf8(Box.Caption).c_str(), ToUtf8(Box.Text).c_str());
        std::fflush(stdout);
        if (Held)
            return;
        Held = true;
        WriteWholeFile(Marker, "shown");
        for (int Wait = 0; Wait < 200 && !FileExists(Done); ++Wait)
            ::Sleep(100);
    };
    TLoaderResult Result = RunLoader("demo", Run);
    if (!Result.Finished) {
        std::printf("the installer did not end in time\n");
        return 1;
    }
    std::printf("exit code: %lu\n", Result.ExitCode);
    std::printf("temporary directory: %s\n",
                Result.TempLeftovers.empty() ? "cleaned" : "NOT empty");
    for (const std::string &Name : Result.TempLeftovers)
        std::printf("  left behind: %s\n", ToUtf8(Name).c_str());
    return Result.TempLeftovers.empty() ? 0 : 1;
}
