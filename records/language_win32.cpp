#include "records/language.h"

#include "support/system_function.h"
#include "support/system_queries.h"
#include "support/win.h"

namespace {

using TGetUserDefaultUILanguageFunc = LANGID(WINAPI *)();

// The locale text the registry holds for systems without GetUserDefaultUILanguage; empty when
// the key or the value cannot be read.
std::string ReadLocaleText() {
    const bool IsNT = OsPlatformId == PlatformWin32NT;
    HKEY Root = IsNT ? HKEY_USERS : HKEY_CURRENT_USER;
    const char *SubKey =
        IsNT ? ".DEFAULT\\Control Panel\\International" : "Control Panel\\Desktop\\ResourceLocale";
    const char *ValueName = IsNT ? "Locale" : "";
    HKEY Key = nullptr;
    std::string Text;
    if (OpenRegistryKeyInView(RegistryViewDefault, Root, SubKey, /*Options=*/0, KEY_QUERY_VALUE,
                              Key) == ERROR_SUCCESS) {
        ReadRegistryString(Key, ValueName, Text);
        ::RegCloseKey(Key);
    }
    return Text;
}

} // namespace

uint32_t DetectUILanguage() {
    // Newer systems only: looked up at run time.
    const auto GetUILanguage = FindSystemFunction<TGetUserDefaultUILanguageFunc>(
        ::GetModuleHandleA("kernel32.dll"), "GetUserDefaultUILanguage");
    if (GetUILanguage)
        return GetUILanguage();
    uint32_t Value = 0;
    return ParseHexLanguageId(ReadLocaleText(), Value) ? Value : 0;
}

void ChooseLanguage(const TSetupLanguageEntry *Entries, int32_t Count,
                    const std::string &LangOption, uint8_t DetectMode) {
    TLanguageSystemValues System;
    if (DetectMode == DetectByUILanguage)
        System.UILanguage = DetectUILanguage();
    else if (DetectMode == DetectByUserLocale)
        System.UserLangID = ::GetUserDefaultLangID();
    System.AnsiCodePage = ::GetACP();
    ChooseLanguage(Entries, Count, LangOption, DetectMode, System);
}
