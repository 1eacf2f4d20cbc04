// The installer as its setup program sees it: the package accepted through the loader's own
// routine (records/setup_package.h), the author's two data areas and the language choice.
// Borrows the loader's file it reads; owns the records it read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "records/setup_records.h"
#include "setupdata/offset_table.h"
#include "support/exceptions.h"

class TCustomFile;
struct TLanguageSystemValues;

// An area of the loader's file: Length bytes from Offset.
struct TFileArea {
    uint64_t Offset = 0;
    uint64_t Length = 0;
};

// The /SL5= offsets differ from those recorded in the loader's file.
class EPackageMismatch : public Exception {
public:
    using Exception::Exception;
};

// A range outside an area.
class EOutOfRange : public Exception {
public:
    using Exception::Exception;
};

struct TSetupSession {
    TLoaderOffsetTable Table{};
    TSetupHeaderRec Header;
    std::vector<TSetupLanguageEntry> Entries;
    // From SecondDataOffset to SetupDataOffset: the bytes packed with --second-data.
    TFileArea SecondData;
    // From the end of the setup records block to SetupProgramOffset: the bytes packed with
    // --setup-data.
    TFileArea SetupData;
};

// Accepts the package in File with Table (null: the loader's file has no offset table) as the
// loader does (AcceptPackageHead and its errors), checks that the /SL5= offsets are the
// table's (EPackageMismatch) and finds both areas.
void OpenSetupSession(const TLoaderOffsetTable *Table, TCustomFile &File,
                      uint32_t SetupDataOffset, uint32_t SecondDataOffset, TSetupSession &Out);

// Reads Count bytes at Position inside Area; EOutOfRange (nothing read) when the range does not
// lie wholly inside it.
void ReadFileArea(TCustomFile &File, const TFileArea &Area, uint64_t Position, void *Buffer,
                  uint64_t Count);

// The code page the application name is stored in: that of the first language whose code page
// is not 0, else 0 (the name is then ASCII).
uint32_t ApplicationNameCodePage(const TSetupSession &Session);

// The language the loader picks at start-up, by its own rule (SelectLanguageIndex), for the
// /Lang= value among Parameters (converted to the ANSI code page by the caller); -1 when the
// installer has no language.
int32_t ChooseSessionLanguage(const TSetupSession &Session, const std::string &LangOption,
                              const TLanguageSystemValues &System);
