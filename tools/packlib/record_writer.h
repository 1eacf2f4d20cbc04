// Writes setup records in the generic stored form: N strings (a signed 32-bit length, then the
// bytes), then F fixed bytes. Also builds the two record types the loader reads. Owns nothing.
#pragma once

#include <cstdint>
#include <string>

// Appends one record. Throws ECompressInternalError for a string of 2^31 bytes or more.
void AppendSetupRecord(std::string &Out, const std::string *Strings, int N, const void *Fixed,
                       int F);

// The fields of the setup header record that the loader reads; everything else is written as
// given in Strings (29 entries, index 0 is replaced by ApplicationName) or as zero bytes.
struct TSetupHeaderFields {
    std::string ApplicationName;
    int32_t LanguageEntryCount = 0;
    uint8_t LanguageDetectMode = 0;
    bool NoStartupPrompt = false;
};

// The stored bytes of a TSetupHeaderRec (29 strings, 186 fixed bytes). OtherStrings, when given,
// supplies strings 1..28 (an array of 29; its entry 0 is ignored).
std::string BuildSetupHeaderRecord(const TSetupHeaderFields &Fields,
                                   const std::string *OtherStrings = nullptr);

struct TSetupLanguageFields {
    std::string Name;
    std::string MessageBlock;
    uint32_t LanguageID = 0;
    uint32_t CodePage = 0;
};

// The stored bytes of a TSetupLanguageEntry (10 strings, 25 fixed bytes).
std::string BuildSetupLanguageRecord(const TSetupLanguageFields &Fields);
