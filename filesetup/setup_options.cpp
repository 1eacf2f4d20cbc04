#include "filesetup/setup_options.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace {

bool StartsWithNoCase(const std::wstring &Text, const wchar_t *Prefix) {
    size_t I = 0;
    for (; Prefix[I]; ++I)
        if (I >= Text.size() || std::towupper(Text[I]) != std::towupper(Prefix[I]))
            return false;
    return true;
}

bool EqualsNoCase(const std::wstring &Text, const wchar_t *Word) {
    return StartsWithNoCase(Text, Word) && Text.size() == std::wcslen(Word);
}

} // namespace

TFileSetupOptions ParseFileSetupOptions(const std::vector<std::wstring> &Parameters) {
    TFileSetupOptions Options;
    for (const std::wstring &P : Parameters) {
        if (EqualsNoCase(P, L"/SILENT")) {
            Options.Silent = true;
        } else if (EqualsNoCase(P, L"/VERYSILENT")) {
            Options.VerySilent = true;
        } else if (StartsWithNoCase(P, L"/DIR=")) {
            std::wstring Value = P.substr(5);
            if (Value.size() >= 2 && Value.front() == L'"' && Value.back() == L'"')
                Value = Value.substr(1, Value.size() - 2);
            Options.Folder = Value;
        }
    }
    return Options;
}

std::wstring FormatSetupText(const std::wstring &Pattern, const std::vector<std::wstring> &Arguments) {
    std::wstring Out;
    for (size_t I = 0; I < Pattern.size(); ++I) {
        if (Pattern[I] == L'%' && I + 1 < Pattern.size() && Pattern[I + 1] >= L'1' &&
            Pattern[I + 1] <= L'9' && size_t(Pattern[I + 1] - L'1') < Arguments.size()) {
            Out += Arguments[Pattern[I + 1] - L'1'];
            ++I;
        } else {
            Out += Pattern[I];
        }
    }
    return Out;
}

std::wstring FolderNameFor(const std::wstring &ApplicationName) {
    std::wstring Name;
    for (wchar_t C : ApplicationName)
        Name += (C < 0x20 || std::wcschr(L"<>:\"/\\|?*", C) != nullptr) ? L'_' : C;
    while (!Name.empty() && (Name.back() == L'.' || Name.back() == L' '))
        Name.pop_back();
    size_t Lead = 0;
    while (Lead < Name.size() && Name[Lead] == L' ')
        ++Lead;
    Name.erase(0, Lead);
    return Name.empty() ? L"Application" : Name;
}

TRunCommand SplitRunCommand(const std::wstring &Command) {
    TRunCommand Run;
    size_t I = 0;
    while (I < Command.size() && Command[I] == L' ')
        ++I;
    if (I < Command.size() && Command[I] == L'"') {
        const size_t Close = Command.find(L'"', I + 1);
        const size_t End = Close == std::wstring::npos ? Command.size() : Close;
        Run.Program = Command.substr(I + 1, End - I - 1);
        I = End == Command.size() ? End : End + 1;
    } else {
        const size_t End = std::min(Command.find(L' ', I), Command.size());
        Run.Program = Command.substr(I, End - I);
        I = End;
    }
    while (I < Command.size() && Command[I] == L' ')
        ++I;
    Run.Arguments = Command.substr(I);
    while (!Run.Arguments.empty() && Run.Arguments.back() == L' ')
        Run.Arguments.pop_back();
    return Run;
}

std::wstring LongPathOf(const std::wstring &AbsolutePath) {
    std::wstring Path = AbsolutePath;
    for (wchar_t &C : Path)
        if (C == L'/')
            C = L'\\';
    if (Path.compare(0, 4, L"\\\\?\\") == 0) {
        // already in the long form
    } else if (Path.compare(0, 2, L"\\\\") == 0) {
        Path = L"\\\\?\\UNC\\" + Path.substr(2);
    } else {
        Path = L"\\\\?\\" + Path;
    }
    // A drive's root keeps its separator ("\\?\C:\").
    while (Path.size() > 7 && Path.back() == L'\\')
        Path.pop_back();
    if (Path.size() == 6 && Path[5] == L':')
        Path += L'\\';
    return Path;
}
