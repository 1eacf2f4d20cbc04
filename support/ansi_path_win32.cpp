#include "support/ansi_path.h"

#include "support/win.h"

namespace {

constexpr DWORD ErrInvalidChars = 0x80; // WC_ERR_INVALID_CHARS (newer systems only)

bool SystemToAnsi(const std::wstring &Wide, std::string &Ansi) {
    Ansi.clear();
    if (Wide.empty())
        return true;
    // Code page 65001 holds every character and refuses the best-fit flag and the report of
    // default characters; it is told to refuse broken UTF-16 instead.
    const bool Utf8 = ::GetACP() == CP_UTF8;
    const DWORD Flags = Utf8 ? ErrInvalidChars : WC_NO_BEST_FIT_CHARS;
    BOOL UsedDefault = FALSE;
    BOOL *UsedDefaultReport = Utf8 ? nullptr : &UsedDefault;
    const int WideCount = static_cast<int>(Wide.size());
    int Count = ::WideCharToMultiByte(CP_ACP, Flags, Wide.data(), WideCount, nullptr, 0,
                                      /*DefaultChar=*/nullptr, UsedDefaultReport);
    if (Count <= 0)
        return false;
    Ansi.resize(static_cast<size_t>(Count));
    Count = ::WideCharToMultiByte(CP_ACP, Flags, Wide.data(), WideCount, &Ansi[0], Count,
                                  /*DefaultChar=*/nullptr, UsedDefaultReport);
    Ansi.resize(static_cast<size_t>(Count > 0 ? Count : 0));
    return Count > 0 && !UsedDefault;
}

std::wstring SystemShortForm(const std::wstring &Wide) {
    return QueryWideText(::GetShortPathNameW, Wide.c_str());
}

} // namespace

std::wstring QueryWideText(DWORD(WINAPI *Call)(LPCWSTR, LPWSTR, DWORD), const wchar_t *Input) {
    std::wstring Text(MAX_PATH, L'\0');
    for (;;) {
        const DWORD Count = Call(Input, &Text[0], static_cast<DWORD>(Text.size()));
        const bool Fits = Count < Text.size();
        Text.resize(Count);
        if (Fits)
            return Text;
    }
}

const TAnsiPathSystem SystemAnsiPaths = {SystemToAnsi, SystemShortForm};

size_t WideFormOfAnsi(const char *Ansi, size_t Length, wchar_t *Wide) {
    const int Count = ::MultiByteToWideChar(CP_ACP, /*Flags=*/0, Ansi, static_cast<int>(Length),
                                            Wide, static_cast<int>(Length));
    return Count > 0 ? static_cast<size_t>(Count) : 0;
}

std::string AnsiFormOfSystemPath(const wchar_t *Buffer, uint32_t Count, uint32_t BufferSize) {
    std::string Ansi;
    if (Count == 0 || Count >= BufferSize)
        return Ansi;
    SelectAnsiPath(std::wstring(Buffer, Count), SystemAnsiPaths, Ansi);
    if (Ansi.size() >= BufferSize)
        Ansi.clear();
    return Ansi;
}
