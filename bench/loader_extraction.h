// The benchmarks' run of the loader's extraction: the stored program read from a file holding
// its block at offset 0 and written to a program file, with a fresh buffer as the loader has
// (ExtractSetupProgram, the routine the loader runs).
#pragma once

#include <cstdint>
#include <string>

#include "records/setup_package.h"
#include "setupdata/file.h"
#include "setupdata/offset_table.h"

inline void ExtractProgramFile(const std::string &BlockPath, const std::string &OutPath,
                               uint32_t Size, uint32_t Crc) {
    TFile Self(BlockPath, fcOpenExisting, amRead, smRead);
    TLoaderOffsetTable Table = {};
    Table.SetupProgramSize = Size;
    Table.SetupProgramCRC = Crc;
    TFile Target(OutPath, fcCreateAlways, amWrite, smNone);
    ExtractSetupProgram(Self, Table, Target);
}
