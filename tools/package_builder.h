// Builds a packaged installer: the loader stub with its offset table filled in, the optional
// second data area, the setup data (signature, the records block, the author's own setup data)
// and the setup program's block, in the order of tools/package_layout.h. Everything is checked
// before the first byte is written; the output is written as THostOutput describes (a regular
// file appears only complete).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "records/setup_records.h"
#include "setupdata/offset_table.h"
#include "support/exceptions.h"
#include "tools/host_files.h"
#include "tools/packlib/lzma_compress.h"
#include "tools/packlib/record_writer.h"

// An input is missing, unreadable or unusable: the message says which and why. Nothing has
// been written.
using EPackInputError = EInputError;

// Writing the output failed (directory missing, disk full, rename refused).
using EPackOutputError = EOutputError;

// Packing would have given warnings and they count as errors; nothing has been written.
class EPackWarnings : public EInputError {
public:
    explicit EPackWarnings(std::vector<std::string> Texts)
        : EInputError(std::to_string(Texts.size()) + " warning(s), treated as errors (--werror)"),
          Warnings(std::move(Texts)) {}
    std::vector<std::string> Warnings;
};

struct TPackOptions {
    std::string StubPath;
    std::string ProgramPath;
    std::string ApplicationName; // UTF-8
    std::vector<std::string> LanguagePaths;
    uint8_t DetectMode = DetectByUILanguage; // TLanguageDetectMode
    bool NoStartupPrompt = false;
    std::string SecondDataPath; // optional
    std::string SetupDataPath;  // optional
    std::string SetupDataBytes; // the setup data itself, where SetupDataPath names no file
    std::string OutputPath;
    uint32_t DictionarySize = DefaultProgramDictionarySize; // of the setup program's stream
    bool WarningsAreErrors = false; // a warning stops packing (EPackWarnings) before any output
    // Runs on the finished installer under its temporary name, before it gets its own (the
    // signing step); whatever it throws leaves no output.
    std::function<void(const std::string &TemporaryPath)> Finish;
};

// What was written, for the summary line.
struct TPackResult {
    TLoaderOffsetTable Table{};
    uint64_t ImageSize = 0;
    uint64_t ProgramBlockSize = 0;
    uint32_t PeChecksum = 0;
    bool Streamed = false; // written straight to a character device or a FIFO
    std::vector<std::string> Warnings;
};

// Reports what packing is doing: a phase text, and bytes done of a total (0 when unknown).
using TPackProgress = std::function<void(const std::string &Phase, uint64_t Done, uint64_t Total)>;

// The largest program and block the loader's reader can take (signed 32-bit counts).
constexpr uint64_t MaxSetupProgramSize = 0x7FFFFFFFull;
// Every offset in the table is 32-bit: the whole file must stay below 4 GiB.
constexpr uint64_t MaxPackageSize = 0xFFFFFFFFull;

// Throws EOutputIsInput when the output names one of the inputs (before anything is read),
// EPackInputError (EPackWarnings among them) or EPackOutputError; no output file exists after
// a throw.
TPackResult PackInstaller(const TPackOptions &Options, const TPackProgress &Progress = nullptr);

// A package's parts in memory, laid out as PackInstaller lays out its files, for tests and
// tools that need packages (and damaged variants of them) without files. Header is stored as
// given (its LanguageEntryCount included).
struct TPackageParts {
    std::string Stub; // the bare loader image
    std::string SecondData;
    TSetupHeaderFields Header;
    std::vector<TSetupLanguageFields> Languages;
    std::string SetupData;
    std::string Program; // as it is to be run
};

// Named changes to the stored bytes before the layout is fixed, for damaged test packages: the
// records before they are compressed, and the compressed records block.
struct TPackageEdits {
    std::function<void(std::string &Records)> Records;
    std::function<void(std::string &Block)> RecordsBlock;
};

// The whole package, its table sealed and its PE checksum set. Throws EPackInputError for a
// stub the packager refuses or a package that would reach 4 GiB, ECompressError from the
// writers.
std::string BuildPackage(const TPackageParts &Parts, const TPackageEdits &Edits = {});

// Converts the application name (UTF-8) for a set of languages: to the code page of the first
// language whose code page is not 0, or ASCII only when all are 0. Throws EPackInputError.
std::string ConvertApplicationName(const std::string &Utf8, const std::vector<uint32_t> &CodePages);

// A language as the application name's check sees it: its name for messages (UTF-8), the
// message file that gave it, its code page.
struct TNameShownBy {
    std::string Name;
    std::string Path;
    uint32_t CodePage = 0;
};

// The loader shows the stored name (Stored, in the code page of the first language whose code
// page is not 0) unchanged in every language's startup question. Returns a warning naming the
// languages whose code page shows it as other text than Utf8, and the message file that chose
// the stored code page; empty when every language shows it right. Languages of code page 0 run
// in whatever code page the system has and are not named.
std::string CheckApplicationNameShown(const std::string &Utf8, const std::string &Stored,
                                      const std::vector<TNameShownBy> &Languages);
