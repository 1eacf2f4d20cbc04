#include "records/language.h"

#include "records/messages.h"
#include "support/ascii_text.h"

int32_t ActiveLanguageIndex = -1;

namespace {

constexpr uint32_t PrimaryLanguageMask = 0x3FF;

bool CodePageAcceptable(uint32_t CodePage, uint32_t AnsiCodePage) {
    return CodePage == 0 || CodePage == AnsiCodePage;
}

} // namespace

void ActivateLanguage(const TSetupLanguageEntry *Entries, int32_t Count, int32_t Index) {
    if (Index < 0 || Index >= Count || Index == ActiveLanguageIndex)
        return;
    const std::string &Block = Entries[Index].MessageBlock();
    LoadMessageBlock(Block.data(), Block.size());
    ActiveLanguageIndex = Index;
}

int32_t SelectLanguageIndex(const TSetupLanguageEntry *Entries, int32_t Count,
                            const std::string &LangOption, uint8_t DetectMode,
                            const TLanguageSystemValues &System) {
    if (!LangOption.empty())
        for (int32_t I = 0; I < Count; ++I)
            if (SameTextAscii(Entries[I].Name(), LangOption))
                return I;

    uint32_t L = 0;
    if (DetectMode == DetectByUILanguage)
        L = System.UILanguage & 0xFFFF;
    else if (DetectMode == DetectByUserLocale)
        L = System.UserLangID & 0xFFFF;
    if (L != 0) {
        for (int32_t I = 0; I < Count; ++I)
            if (Entries[I].LanguageID() == L &&
                CodePageAcceptable(Entries[I].CodePage(), System.AnsiCodePage))
                return I;
        for (int32_t I = 0; I < Count; ++I)
            if ((Entries[I].LanguageID() & PrimaryLanguageMask) == (L & PrimaryLanguageMask) &&
                CodePageAcceptable(Entries[I].CodePage(), System.AnsiCodePage))
                return I;
    }
    return 0;
}

void ChooseLanguage(const TSetupLanguageEntry *Entries, int32_t Count,
                    const std::string &LangOption, uint8_t DetectMode,
                    const TLanguageSystemValues &System) {
    ActivateLanguage(Entries, Count,
                     SelectLanguageIndex(Entries, Count, LangOption, DetectMode, System));
}

bool ParseHexLanguageId(const std::string &Text, uint32_t &Value) {
    if (Text.empty())
        return false;
    uint32_t Result = 0;
    for (char C : Text) {
        uint32_t Digit;
        if (C >= '0' && C <= '9')
            Digit = C - '0';
        else if (C >= 'A' && C <= 'F')
            Digit = C - 'A' + 10;
        else if (C >= 'a' && C <= 'f')
            Digit = C - 'a' + 10;
        else
            return false;
        if (Result > (0xFFFFFFFFu >> 4))
            return false;
        Result = (Result << 4) | Digit;
    }
    Value = Result;
    return true;
}
