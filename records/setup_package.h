// The reading routines shared by the loader and the host tools: the setup records at the start
// of the setup data, and the extraction of the setup program. They borrow the files they are
// given; the entry array belongs to the caller.
#pragma once

#include <vector>

#include "records/setup_records.h"

class TCustomFile;
class TFile;
struct TLoaderOffsetTable;

// SelfFile stands right behind the 64-byte setup-data signature. Reads the header record and
// its LanguageEntryCount language entries (in order, appended to Entries) from one compressed
// block, and destroys the reader in every case. Damaged data anywhere (a count below 0 or above
// MaxLanguageEntryCount included) is the setup-corrupt error; other exceptions pass unchanged.
void ReadSetupRecords(TCustomFile &SelfFile, TSetupHeaderRec &Header,
                      std::vector<TSetupLanguageEntry> &Entries);

// SelfFile stands at SetupProgramOffset. Decompresses SetupProgramSize bytes into a buffer,
// restores the call operands, checks SetupProgramCRC, then gives Target its final length and
// writes the program with one Write. Damaged data and a CRC mismatch are the setup-corrupt
// error; lack of memory is EOutOfMemory; file errors pass unchanged. The buffer is released in
// every case.
void ExtractSetupProgram(TCustomFile &SelfFile, const TLoaderOffsetTable &Table, TFile &Target);
