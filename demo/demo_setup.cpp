// The demo's setup program: shows, in one message box, that it received what the loader hands
// every setup program. Everything it shows comes through the library for setup programs
// (setuplib/quov_setup.h): the application name, the loader's file, the two areas, and the
// language the loader's own rules pick for the user's settings and the installer's options.
#include <cstdint>
#include <string>

#include "setuplib/quov_setup.h"
#include "support/win.h"

namespace {

// A text from one of the library's getters; empty when it fails.
template <typename TGet> std::wstring TextOf(TGet Get) {
    size_t Needed = 0;
    if (Get(nullptr, 0, &Needed) != QUOV_ERROR_BUFFER_TOO_SMALL || Needed == 0)
        return std::wstring();
    std::wstring Text(Needed, L'\0');
    if (Get(&Text[0], Needed, nullptr) != QUOV_OK)
        return std::wstring();
    Text.resize(Needed - 1);
    return Text;
}

std::wstring Number(uint64_t Value) { return std::to_wstring(Value); }

std::wstring Hex(uint32_t Value) {
    wchar_t Buffer[16];
    ::wsprintfW(Buffer, L"0x%04X", Value);
    return Buffer;
}

std::wstring Widen(const char *Ascii) {
    return std::wstring(Ascii, Ascii + std::char_traits<char>::length(Ascii));
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    quov_setup *Setup = nullptr;
    const quov_status Status = quov_setup_open(&Setup);
    if (Status != QUOV_OK) {
        const std::wstring Text = Status == QUOV_ERROR_NOT_STARTED_BY_LOADER
            ? L"Start the packaged installer, not this program: it needs the /SL5= parameter "
              L"that the loader passes."
            : L"The setup records could not be read: " + Widen(quov_status_text(Status));
        ::MessageBoxW(nullptr, Text.c_str(), L"Quov demo setup", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    int32_t Count = 0, Chosen = 0;
    quov_setup_language_count(Setup, &Count);
    quov_setup_chosen_language(Setup, &Chosen);
    uint64_t SetupOffset = 0, SetupLength = 0, SecondOffset = 0, SecondLength = 0;
    quov_setup_area(Setup, QUOV_AREA_SETUP_DATA, &SetupOffset, &SetupLength);
    quov_setup_area(Setup, QUOV_AREA_SECOND_DATA, &SecondOffset, &SecondLength);
    uint32_t LangId = 0, CodePage = 0;
    quov_setup_language_id(Setup, Chosen, &LangId, &CodePage);

    std::wstring Text = L"Application: " + TextOf([&](wchar_t *B, size_t S, size_t *N) {
        return quov_setup_application_name(Setup, B, S, N);
    }) + L"\n\n";
    Text += L"Started by the loader " + TextOf([&](wchar_t *B, size_t S, size_t *N) {
        return quov_setup_loader_path(Setup, B, S, N);
    }) + L"\n";
    Text += L"Setup data at offset " + Number(SetupOffset) + L" (" + Number(SetupLength) +
            L" bytes), second data area at " + Number(SecondOffset) + L" (" +
            Number(SecondLength) + L" bytes)\n";
    Text += Number(static_cast<uint64_t>(Count)) + L" language(s) offered; your settings (user "
            L"interface " + Hex(::GetUserDefaultUILanguage()) + L", code page " +
            Number(::GetACP()) + L") choose: ";
    Text += Count > 0 ? TextOf([&](wchar_t *B, size_t S, size_t *N) {
        return quov_setup_language_name(Setup, Chosen, B, S, N);
    }) + L" (" + Hex(LangId) + L")" : std::wstring(L"none");
    Text += L"\n\nThis demo installs nothing.";
    ::MessageBoxW(nullptr, Text.c_str(), L"Quov demo setup", MB_OK | MB_ICONINFORMATION);
    quov_setup_close(Setup);
    return 0;
}
