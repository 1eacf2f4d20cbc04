// Which language's message block is loaded: the choice at start-up (the "/Lang=" option, then the
// user's language settings, then the first entry) and the later switch to another entry. Borrows the entry array of the main sequence; loads into LoaderMessages.
#pragma once

#include <cstdint>
#include <string>

#include "records/setup_records.h"

// The entry whose message block is loaded; -1 while none is.
extern int32_t ActiveLanguageIndex;

// Loads the message block of entry Index. Does nothing for an index that is negative, not below
// Count or already active. A bad block throws the setup-corrupt Exception and leaves
// ActiveLanguageIndex as it was.
void ActivateLanguage(const TSetupLanguageEntry *Entries, int32_t Count, int32_t Index);

// What the system tells about the user's language; only the value the detect mode asks for is
// looked at.
struct TLanguageSystemValues {
    uint32_t UILanguage = 0;   // DetectUILanguage()
    uint32_t UserLangID = 0;   // GetUserDefaultLangID()
    uint32_t AnsiCodePage = 0; // GetACP()
};

// The index ChooseLanguage activates: the first entry whose Name equals LangOption (ASCII letters
// folded, code page not looked at); else, with the LANGID the detect mode gives, the first entry
// with that exact LanguageID and then the first of the same primary language (low 10 bits), each
// only with CodePage 0 or the ANSI code page; else 0.
int32_t SelectLanguageIndex(const TSetupLanguageEntry *Entries, int32_t Count,
                            const std::string &LangOption, uint8_t DetectMode,
                            const TLanguageSystemValues &System);
// Activates the entry SelectLanguageIndex picks (nothing when there are no entries).
void ChooseLanguage(const TSetupLanguageEntry *Entries, int32_t Count,
                    const std::string &LangOption, uint8_t DetectMode,
                    const TLanguageSystemValues &System);

// Reads a whole text as hexadecimal: digits 0-9, A-F, a-f only (no prefix, blank or sign), the
// value within 32 bits, leading zeros allowed. False for anything else, the empty text included.
bool ParseHexLanguageId(const std::string &Text, uint32_t &Value);

// ---- Win32 only ----------------------------------------------------------------------------

// The user-interface language: GetUserDefaultUILanguage where the system has it, else the locale
// text from the registry; 0 when neither gives one.
uint32_t DetectUILanguage();
// ChooseLanguage with the system's own values.
void ChooseLanguage(const TSetupLanguageEntry *Entries, int32_t Count,
                    const std::string &LangOption, uint8_t DetectMode);
