// Reads a packaged installer the way the loader does, with the loader's own reading code, and
// reports what it finds: the offset table, the file map, the setup records, every message block
// and (for a full check) the setup program. Also extracts the program as the loader would.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "records/setup_records.h"
#include "setupdata/block_format.h"
#include "setupdata/offset_table.h"
#include "support/exceptions.h"
#include "tools/authenticode.h"
#include "tools/host_files.h"
#include "tools/packlib/pe_stub.h"

// The file cannot be opened or read at all (as opposed to a damaged package, which is a fault).
using EPackageOpenError = EInputError;

// A compressed block as found at an offset: its header (setupdata/block_format.h).
struct TBlockInfo {
    bool Present = false;     // the 9 header bytes lie inside the file
    bool HeaderValid = false; // header CRC right and the block ends inside the file
    bool Compressed = false;
    uint64_t Offset = 0;
    uint64_t StoredSize = 0;  // bytes behind the header
    uint64_t End() const { return Offset + BlockHeaderSize + StoredSize; }
};

struct TLanguageReport {
    std::string Name; // ANSI bytes of the language's code page
    uint32_t LanguageId = 0;
    uint32_t CodePage = 0;
    uint64_t MessageBlockSize = 0;
    bool MessageBlockValid = false;
};

struct TPackageReport {
    uint64_t FileSize = 0;
    bool HaveHeaders = false; // a PE image
    TPeHeaders Pe;
    uint32_t ComputedChecksum = 0;
    bool HaveTable = false;   // a 44-byte slot was found
    TLoaderOffsetTable Table{};
    bool TableAccepted = false;
    TBlockInfo RecordsBlock;
    bool HaveRecords = false;
    std::string ApplicationName; // ANSI bytes
    uint8_t DetectMode = 0;
    bool NoStartupPrompt = false;
    int32_t LanguageEntryCount = 0;
    std::vector<TLanguageReport> Languages;
    TBlockInfo ProgramBlock;
    bool ProgramChecked = false; // the program was decoded and its CRC compared
    bool ProgramValid = false;
    // The first thing the loader would refuse, in the loader's order, as the acceptance routine
    // describes it; empty when it would accept the file (as far as was checked).
    std::string Fault;
    TFaultStructure FaultStructure = TFaultStructure::None;
    std::vector<std::string> Notes; // observations that do not stop the loader
    // The code signature. When it does not hold for the file and the loader finds nothing
    // else, Fault says so and SignatureFault is set: the loader would run the file, but it is
    // not what was signed.
    TSignatureReport Signature;
    bool SignatureFault = false;
    // A folder stored with pack --files in the setup-data area, read back whole through the
    // reference setup program's reader when the program is decoded too: the loader never reads
    // it, so damage there is not the loader's fault, but the installer would still fail.
    bool HaveStoredFolder = false;
    uint32_t StoredFolderFiles = 0;  // files read back with their CRC right
    std::string StoredFolderFault;   // empty when the whole folder read back
};

// One area of the file, for the file map.
struct TMapEntry {
    std::string Name;
    uint64_t Offset;
    uint64_t Size;
};

// The file map: the package's parts in their order (tools/package_layout.h) as far as the report
// found them (only the image when the offset table was refused), then any bytes behind
// MinFileSize.
std::vector<TMapEntry> PackageFileMap(const TPackageReport &Report);

// The code page the application name was stored in: the packager's rule (the first language
// whose code page is not 0).
uint32_t ApplicationNameCodePage(const TPackageReport &Report);

// Reports what reading is doing: a phase text, and bytes done of a total (0 when unknown).
using TReadProgress =
    std::function<void(const std::string &Phase, uint64_t Done, uint64_t Total)>;

// Reads and checks with the loader's acceptance routine; DecodeProgram adds the full decode of
// the setup program (in memory: no file is written) and the read of a stored folder. Throws EPackageOpenError when the file
// cannot be opened or read, EOutOfMemory when the program does not fit in memory; every finding
// about the package goes into the report.
TPackageReport ReadPackage(const std::string &Path, bool DecodeProgram,
                           const TReadProgress &Progress = nullptr);

// Checks the file as the loader does up to the extraction, then writes the setup program to
// OutputPath (through a temporary file beside it). Throws EPackageOpenError when the file cannot
// be read, EPackageFault when the loader would refuse it, and an Exception when the output cannot
// be written; no output file exists after a throw.
class EPackageFault : public Exception {
public:
    using Exception::Exception;
};
using EExtractOutputError = EOutputError;
void ExtractProgram(const std::string &Path, const std::string &OutputPath);
