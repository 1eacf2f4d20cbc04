// The setup records the loader reads from the start of the setup data: the header record and
// the language entries. Each record owns its strings (opaque byte strings) and fixed bytes.
//
// Generic stored form (little-endian): N times { int32 length L, L bytes }, then F fixed bytes.
// The records follow each other in one compressed block: the header record, then
// LanguageEntryCount language entries.
#pragma once

#include <cstdint>
#include <string>

class TCompressedBlockReader;

// Each string's length: signed 32-bit; a negative length is damaged data.
constexpr int SetupRecordLengthSize = 4;

// Header record: 29 strings, 186 fixed bytes. Fixed part:
//     0  32  opaque
//    32   4  LanguageEntryCount  signed 32-bit
//    36 132  opaque
//   168   1  LanguageDetectMode  0 UI language, 1 user locale, other: none
//   169  11  opaque
//   180   6  Options             bit 0 of byte 180: NoStartupPrompt
constexpr int SetupHeaderStringCount = 29;
constexpr int SetupHeaderRecordSize = 302;
constexpr int SetupHeaderFixedSize = SetupHeaderRecordSize - 4 * SetupHeaderStringCount;
constexpr int SetupHeaderEntryCountOffset = 32;
constexpr int SetupHeaderDetectModeOffset = 168;
constexpr int SetupHeaderOptionsOffset = 180;
static_assert(SetupHeaderFixedSize == 186, "header fixed part");

// Language entry: 10 strings, 25 fixed bytes. String 0 is the name, string 6 the message
// block. Fixed part: 0 LanguageID (uint32, LANGID in the low 16 bits), 4 CodePage (uint32,
// 0 = any), 8..24 opaque.
constexpr int SetupLanguageStringCount = 10;
constexpr int SetupLanguageRecordSize = 65;
constexpr int SetupLanguageFixedSize = SetupLanguageRecordSize - 4 * SetupLanguageStringCount;
constexpr int SetupLanguageMessageBlockIndex = 6;
constexpr int SetupLanguageIdOffset = 0;
constexpr int SetupLanguageCodePageOffset = 4;
static_assert(SetupLanguageFixedSize == 25, "language entry fixed part");

// A count of language entries above this is corrupt data; no setup carries that many languages.
constexpr int32_t MaxLanguageEntryCount = 65536;

// The detect mode byte; the loader takes any value above DetectByUserLocale as "none", and the
// packager writes DetectNone for it.
enum TLanguageDetectMode : uint8_t {
    DetectByUILanguage = 0,
    DetectByUserLocale = 1,
    DetectNone = 2,
};

struct TSetupHeaderRec {
    std::string Strings[SetupHeaderStringCount];
    uint8_t Fixed[SetupHeaderFixedSize] = {};

    const std::string &ApplicationName() const { return Strings[0]; }
    // Raw stored value; ReadSetupRecords has checked it against 0..MaxLanguageEntryCount.
    int32_t LanguageEntryCount() const;
    uint8_t LanguageDetectMode() const { return Fixed[SetupHeaderDetectModeOffset]; }
    bool NoStartupPrompt() const { return (Fixed[SetupHeaderOptionsOffset] & 1) != 0; }
};

struct TSetupLanguageEntry {
    std::string Strings[SetupLanguageStringCount];
    uint8_t Fixed[SetupLanguageFixedSize] = {};

    const std::string &Name() const { return Strings[0]; }
    const std::string &MessageBlock() const { return Strings[SetupLanguageMessageBlockIndex]; }
    uint32_t LanguageID() const;
    uint32_t CodePage() const;
};

// Reads one record of the generic form: N strings into Strings[0..N-1] (each replacing the
// previous value once complete), then F bytes into Fixed. A negative string length is
// ECompressDataError (fault RecordStringLength); a long string grows as its bytes arrive, so a huge stored length cannot
// allocate more than the block actually holds. Other failures are the reader's.
void ReadSetupRecord(TCompressedBlockReader &Reader, std::string *Strings, int N, void *Fixed,
                     int F);

void ReadSetupRecord(TCompressedBlockReader &Reader, TSetupHeaderRec &Header);
void ReadSetupRecord(TCompressedBlockReader &Reader, TSetupLanguageEntry &Entry);
