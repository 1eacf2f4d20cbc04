#include "tools/package_builder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "records/setup_records.h"
#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"
#include "support/builtin_texts.h"
#include "support/byte_order.h"
#include "tools/authenticode.h"
#include "tools/host_files.h"
#include "tools/message_file.h"
#include "tools/package_layout.h"
#include "tools/packlib/block_writer.h"
#include "tools/packlib/lzma_compress.h"
#include "tools/packlib/message_block_writer.h"
#include "tools/packlib/pe_stub.h"
#include "tools/packlib/record_writer.h"
#include "tools/text_codec.h"

namespace {

[[noreturn]] void InputError(const std::string &Why) { throw EPackInputError(Why); }

// A compressor's failure as the user reads it (its texts are the loader's built-in ones).
std::string Readable(const ECompressError &E) {
    return CodePageToDisplay(E.Message(), BuiltinTextCodePage);
}

// One part's bytes: held in memory, or an input file copied as it is.
struct TPartSource {
    std::string Bytes;
    THostInput *File = nullptr;
    uint64_t Size() const { return File ? File->Size : Bytes.size(); }
};
using TPartSources = std::array<TPartSource, PackagePartCount>;
using TSink = std::function<void(const void *Data, size_t Count)>;

TPartSource &PartOf(TPartSources &Sources, TPackagePart Part) {
    return Sources[PartIndex(Part)];
}

// Copies a whole input to Sink in pieces from its start, reporting progress.
void CopyInput(THostInput &In, const TSink &Sink, const TPackProgress &Progress,
               const std::string &Phase) {
    RewindHostInput(In);
    std::string Buffer(1u << 20, '\0');
    uint64_t Left = In.Size;
    while (Left > 0) {
        size_t Count = Left < Buffer.size() ? static_cast<size_t>(Left) : Buffer.size();
        ReadHostInput(In, &Buffer[0], Count);
        Sink(Buffer.data(), Count);
        Left -= Count;
        if (Progress)
            Progress(Phase, In.Size - Left, In.Size);
    }
}

// Hands every part to Sink in the package's order.
void WalkParts(TPartSources &Sources, const TSink &Sink, const TPackProgress &Progress = nullptr) {
    for (const TPackagePartInfo &Info : PackageParts) {
        TPartSource &Source = PartOf(Sources, Info.Part);
        if (Source.File)
            CopyInput(*Source.File, Sink, Progress, "copying the " + Source.File->Role);
        else
            Sink(Source.Bytes.data(), Source.Bytes.size());
    }
}

// The records the loader reads first: the header record, then one entry per language.
std::string BuildRecords(const TSetupHeaderFields &Header,
                         const std::vector<TSetupLanguageFields> &Languages) {
    std::string Records = BuildSetupHeaderRecord(Header);
    for (const TSetupLanguageFields &Language : Languages)
        Records += BuildSetupLanguageRecord(Language);
    return Records;
}

// The program's block: its call operands made absolute, then compressed with the dictionary
// the author chose. Program is consumed.
std::string BuildProgramBlock(std::string &Program, uint32_t DictionarySize,
                              const TLzmaProgress &Progress = nullptr) {
    ConvertCallOperands(&Program[0], static_cast<uint32_t>(Program.size()), /*MakeAbsolute=*/true,
                        /*PositionBias=*/0);
    const std::string Stream =
        LzmaCompressProgram(Program.data(), Program.size(), DictionarySize, Progress);
    std::string().swap(Program);
    std::string Block;
    AppendCompressedBlock(Block, Stream.data(), Stream.size(), /*IsCompressed=*/true);
    return Block;
}

// The sealed table for these parts, checked against the 32-bit offsets before anything is
// written.
TLoaderOffsetTable PlanTable(const TPartSources &Sources, uint32_t ProgramSize,
                             uint32_t ProgramCrc) {
    uint64_t Sizes[PackagePartCount];
    for (size_t I = 0; I < PackagePartCount; ++I)
        Sizes[I] = Sources[I].Size();
    const TPackageLayout Layout = LayOutPackage(Sizes);
    if (Layout.FileSize > MaxPackageSize)
        InputError("the installer would have " + std::to_string(Layout.FileSize) +
                   " bytes; its offsets are 32-bit, so it must stay below 4 GiB");
    TLoaderOffsetTable Table{};
    std::memcpy(Table.Signature, OffsetTableSignature, sizeof(Table.Signature));
    Table.FormatVersion = OffsetTableFormatVersion;
    Table.MinFileSize = static_cast<uint32_t>(Layout.FileSize);
    Table.SetupProgramOffset = static_cast<uint32_t>(Layout.Start(TPackagePart::ProgramBlock));
    Table.SetupProgramSize = ProgramSize;
    Table.SetupProgramCRC = ProgramCrc;
    Table.SetupDataOffset = static_cast<uint32_t>(Layout.Start(TPackagePart::SetupDataSignature));
    Table.SecondDataOffset = static_cast<uint32_t>(Layout.Start(TPackagePart::SecondData));
    SealOffsetTable(Table);
    return Table;
}

// Fills the stub's slot with the table and zeroes its checksum field for the sum over the file.
void StampImage(std::string &Image, const TStubImage &Stub, const TLoaderOffsetTable &Table) {
    uint8_t *Bytes = reinterpret_cast<uint8_t *>(&Image[0]);
    WriteOffsetTableSlot(Bytes, Image.size(), Stub, Table);
    StoreLe32(Bytes + Stub.Headers.ChecksumOffset, 0);
}

TStubImage AnalyzeStubImage(const std::string &Image, const std::string &Path) {
    try {
        return AnalyzeStub(reinterpret_cast<const uint8_t *>(Image.data()), Image.size());
    } catch (const EStubError &E) {
        InputError("stub " + Path + ": " + E.Message());
    }
}

// Everything packing reads, opened and checked before the long work.
struct TGathered {
    THostInput Stub, Program, SecondData, SetupData;
    std::string Image;
    TStubImage StubInfo;
    std::vector<TMessageFile> Languages;
    TSetupHeaderFields Header;
};

void Phase(const TPackProgress &Progress, const std::string &Text) {
    if (Progress)
        Progress(Text, 0, 0);
}

// Opens and checks the stub and the program, and measures the data files; a missing file is
// found before any work.
void GatherFiles(const TPackOptions &Options, TGathered &G, TPackResult &Result) {
    G.Stub = OpenHostInput(Options.StubPath, "stub", MaxStubImageSize,
                           "a loader stub is far smaller");
    G.Program = OpenHostInput(Options.ProgramPath, "setup program", MaxSetupProgramSize,
                              "the loader takes programs below 2 GiB");
    if (!Options.SecondDataPath.empty())
        G.SecondData = OpenHostInput(Options.SecondDataPath, "second data file", MaxPackageSize,
                                     "an installer must stay below 4 GiB");
    if (!Options.SetupDataPath.empty())
        G.SetupData = OpenHostInput(Options.SetupDataPath, "setup data file", MaxPackageSize,
                                    "an installer must stay below 4 GiB");

    // The headers lie in the first bytes; what the loader hands to CreateProcess must be a
    // program Windows starts.
    std::string Head(static_cast<size_t>(std::min<uint64_t>(G.Program.Size, 65536)), '\0');
    Head.resize(ReadHostInputHead(G.Program, &Head[0], Head.size()));
    TProgramImageCheck Runnable = CheckProgramImage(
        reinterpret_cast<const uint8_t *>(Head.data()), Head.size(), G.Program.Size);
    if (!Runnable.Refusal.empty())
        InputError("setup program " + Options.ProgramPath +
                   " cannot be started by Windows: " + Runnable.Refusal);
    for (const std::string &W : Runnable.Warnings)
        Result.Warnings.push_back("setup program " + Options.ProgramPath + ": " + W);

    G.Image = ReadWholeHostInput(G.Stub);
    G.StubInfo = AnalyzeStubImage(G.Image, Options.StubPath);
    if (G.StubInfo.Is64Bit)
        Result.Warnings.push_back("stub " + Options.StubPath +
                                  ": the loader's 64-bit x64 build: the installer starts only on "
                                  "64-bit Windows");
}

// Loads the message files and fills the setup header, the application name in the code page
// the languages choose.
void GatherLanguages(const TPackOptions &Options, TGathered &G, TPackResult &Result) {
    std::vector<uint32_t> CodePages;
    std::vector<TNameShownBy> Shown;
    for (const std::string &Path : Options.LanguagePaths) {
        try {
            G.Languages.push_back(LoadMessageFile(Path));
        } catch (const EMessageFileError &E) {
            InputError(E.Message());
        }
        const TMessageFile &Language = G.Languages.back();
        CodePages.push_back(Language.CodePage);
        Shown.push_back(
            {CodePageToDisplay(Language.Name, Language.CodePage), Path, Language.CodePage});
        for (const std::string &W : Language.Warnings)
            Result.Warnings.push_back(W);
    }
    for (size_t I = 0; I < G.Languages.size(); ++I)
        for (size_t J = 0; J < I; ++J)
            if (G.Languages[I].Name == G.Languages[J].Name)
                Result.Warnings.push_back(Options.LanguagePaths[I] +
                                          ": language name is also used by " +
                                          Options.LanguagePaths[J] +
                                          "; \"/Lang=\" can only ever choose the first");

    if (Options.ApplicationName.empty())
        InputError("the application name is empty");
    G.Header.ApplicationName = ConvertApplicationName(Options.ApplicationName, CodePages);
    std::string NameWarning =
        CheckApplicationNameShown(Options.ApplicationName, G.Header.ApplicationName, Shown);
    if (!NameWarning.empty())
        Result.Warnings.push_back(NameWarning);
    G.Header.LanguageEntryCount = static_cast<int32_t>(G.Languages.size());
    G.Header.LanguageDetectMode = Options.DetectMode;
    G.Header.NoStartupPrompt = Options.NoStartupPrompt;
}

// The compressed records: the header, then each language with its message block.
std::string BuildRecordsBlock(const TGathered &G) {
    std::string Block;
    try {
        std::vector<TSetupLanguageFields> Entries;
        for (const TMessageFile &Language : G.Languages) {
            Entries.emplace_back();
            Entries.back().Name = Language.Name;
            Entries.back().MessageBlock = BuildMessageBlock(Language.Messages);
            Entries.back().LanguageID = Language.LanguageId;
            Entries.back().CodePage = Language.CodePage;
        }
        const std::string Records = BuildRecords(G.Header, Entries);
        AppendLzmaBlock(Block, Records.data(), Records.size());
    } catch (const ECompressError &E) {
        InputError("setup records: " + Readable(E));
    }
    return Block;
}

// Reads, sums and compresses the setup program; returns its block and its CRC.
std::string BuildProgram(const TPackOptions &Options, TGathered &G, uint32_t &Crc,
                         const TPackProgress &Progress) {
    const std::string CompressPhase = "compressing the setup program";
    Phase(Progress, CompressPhase);
    std::string Bytes = ReadWholeHostInput(G.Program);
    Crc = ComputeCrc32(Bytes.data(), Bytes.size());
    try {
        return BuildProgramBlock(Bytes, Options.DictionarySize, [&](uint64_t Done) {
            if (Progress)
                Progress(CompressPhase, Done, G.Program.Size);
        });
    } catch (const ECompressError &E) {
        InputError("setup program " + Options.ProgramPath +
                   ": its compressed block would be too large for the loader (" + Readable(E) +
                   ")");
    }
}

// Writes the parts to the output and sets the PE checksum; returns it. A regular file gets the
// sum patched in at the end; a device or FIFO cannot be patched, so the parts are summed in a
// pass of their own first.
uint32_t WriteInstaller(TPartSources &Sources, uint64_t ChecksumOffset, uint64_t FileSize,
                        const std::string &OutputPath, bool &Streamed,
                        const std::function<void(const std::string &)> &Finish,
                        const TPackProgress &Progress) {
    THostOutput Out(OutputPath);
    Streamed = Out.IsStream();
    if (Streamed && Finish)
        throw EPackOutputError(OutputPath + ": a signing command needs a regular file to sign, "
                               "not a device or a FIFO");
    // Zeros behind the recorded length up to where a signer puts its certificate table, so that
    // no signer pads the file itself; the loader reads nothing there.
    const char Padding[CertificateTableAlignment] = {};
    const size_t PaddingSize = static_cast<size_t>(CertificateAlignmentPadding(FileSize));
    TPeChecksum Checksum(ChecksumOffset);
    uint8_t Sum[4];
    if (Out.IsStream()) {
        Phase(Progress, "computing the PE checksum");
        WalkParts(Sources, [&](const void *Data, size_t Count) { Checksum.Add(Data, Count); },
                  Progress);
        Checksum.Add(Padding, PaddingSize);
        StoreLe32(Sum, Checksum.Finish());
        std::memcpy(&PartOf(Sources, TPackagePart::Image).Bytes[ChecksumOffset], Sum, 4);
    }
    Phase(Progress, "writing " + OutputPath);
    WalkParts(
        Sources,
        [&](const void *Data, size_t Count) {
            if (!Out.IsStream())
                Checksum.Add(Data, Count);
            Out.Write(Data, Count);
        },
        Progress);
    if (Out.Size() != FileSize)
        throw EPackOutputError("internal error: wrote " + std::to_string(Out.Size()) +
                               " bytes instead of " + std::to_string(FileSize));
    Out.Write(Padding, PaddingSize);
    if (!Out.IsStream()) {
        Checksum.Add(Padding, PaddingSize);
        StoreLe32(Sum, Checksum.Finish());
        Out.WriteAt(ChecksumOffset, Sum, 4);
    }
    Out.Commit(/*Executable=*/true, Finish);
    return LoadLe32(Sum);
}

} // namespace

std::string ConvertApplicationName(const std::string &Utf8, const std::vector<uint32_t> &CodePages) {
    uint32_t CodePage = 0;
    for (uint32_t C : CodePages)
        if (C != 0) {
            CodePage = C;
            break;
        }
    std::string Out, Reason;
    if (!ConvertUtf8ToCodePage(Utf8, CodePage, Out, Reason))
        InputError("application name: " + Reason +
                   (CodePage == 0 ? " (no language names a code page)" : ""));
    return Out;
}

std::string CheckApplicationNameShown(const std::string &Utf8, const std::string &Stored,
                                      const std::vector<TNameShownBy> &Languages) {
    size_t Chooser = Languages.size();
    for (size_t I = 0; I < Languages.size() && Chooser == Languages.size(); ++I)
        if (Languages[I].CodePage != 0)
            Chooser = I;
    if (Chooser == Languages.size())
        return std::string(); // ASCII only: every code page shows it
    const uint32_t StoredCodePage = Languages[Chooser].CodePage;
    std::string Wrong;
    for (const TNameShownBy &L : Languages) {
        std::string Shown;
        if (L.CodePage == 0 || L.CodePage == StoredCodePage ||
            (ConvertCodePageToUtf8(Stored, L.CodePage, Shown) && Shown == Utf8))
            continue;
        Wrong += std::string(Wrong.empty() ? "" : "; ") + L.Name + " (" + L.Path + ", code page " +
                 std::to_string(L.CodePage) + ") shows it as \"" +
                 CodePageToDisplay(Stored, L.CodePage) + "\"";
    }
    if (Wrong.empty())
        return Wrong;
    return "application name \"" + Utf8 + "\" is stored in code page " +
           std::to_string(StoredCodePage) + ", chosen by " + Languages[Chooser].Path +
           " (the first --lang whose code page is not 0); " + Wrong;
}

TPackResult PackInstaller(const TPackOptions &Options, const TPackProgress &Progress) {
    TPackResult Result;
    std::vector<TNamedPath> Inputs = {{"stub", Options.StubPath},
                                      {"setup program", Options.ProgramPath},
                                      {"second data file", Options.SecondDataPath},
                                      {"setup data file", Options.SetupDataPath}};
    for (const std::string &Path : Options.LanguagePaths)
        Inputs.push_back({"message file", Path});
    RefuseOutputOverInputs(Options.OutputPath, Inputs);
    if (Options.LanguagePaths.empty())
        InputError("at least one language (message file) is needed");
    if (Options.DictionarySize < MinProgramDictionarySize ||
        Options.DictionarySize > MaxProgramDictionarySize)
        InputError("the dictionary size must lie between 4 KiB and 64 MiB");

    TGathered G;
    Phase(Progress, "reading the stub");
    GatherFiles(Options, G, Result);
    Phase(Progress, "reading the message files");
    GatherLanguages(Options, G, Result);
    // Refused before the long work, since nothing gets written anyway.
    if (Options.WarningsAreErrors && !Result.Warnings.empty())
        throw EPackWarnings(Result.Warnings);

    TPartSources Sources;
    Phase(Progress, "compressing the setup records");
    PartOf(Sources, TPackagePart::RecordsBlock).Bytes = BuildRecordsBlock(G);
    uint32_t ProgramCrc = 0;
    PartOf(Sources, TPackagePart::ProgramBlock).Bytes =
        BuildProgram(Options, G, ProgramCrc, Progress);
    PartOf(Sources, TPackagePart::SetupDataSignature)
        .Bytes.assign(reinterpret_cast<const char *>(SetupDataSignature), SetupDataSignatureSize);
    if (G.SecondData.Size != 0)
        PartOf(Sources, TPackagePart::SecondData).File = &G.SecondData;
    if (G.SetupData.Size != 0)
        PartOf(Sources, TPackagePart::SetupData).File = &G.SetupData;
    else if (Options.SetupDataPath.empty())
        PartOf(Sources, TPackagePart::SetupData).Bytes = Options.SetupDataBytes;
    PartOf(Sources, TPackagePart::Image).Bytes.swap(G.Image);

    Result.Table = PlanTable(Sources, static_cast<uint32_t>(G.Program.Size), ProgramCrc);
    StampImage(PartOf(Sources, TPackagePart::Image).Bytes, G.StubInfo, Result.Table);
    Result.PeChecksum = WriteInstaller(Sources, G.StubInfo.Headers.ChecksumOffset,
                                       Result.Table.MinFileSize, Options.OutputPath,
                                       Result.Streamed, Options.Finish, Progress);
    Result.ImageSize = PartOf(Sources, TPackagePart::Image).Size();
    Result.ProgramBlockSize = PartOf(Sources, TPackagePart::ProgramBlock).Size();
    return Result;
}

std::string BuildPackage(const TPackageParts &Parts, const TPackageEdits &Edits) {
    TPartSources Sources;
    std::string &Image = PartOf(Sources, TPackagePart::Image).Bytes = Parts.Stub;
    const TStubImage StubInfo = AnalyzeStubImage(Image, "image");
    std::string Records = BuildRecords(Parts.Header, Parts.Languages);
    if (Edits.Records)
        Edits.Records(Records);
    std::string &RecordsBlock = PartOf(Sources, TPackagePart::RecordsBlock).Bytes;
    AppendLzmaBlock(RecordsBlock, Records.data(), Records.size());
    if (Edits.RecordsBlock)
        Edits.RecordsBlock(RecordsBlock);
    if (Parts.Program.size() > MaxSetupProgramSize)
        InputError("the setup program must stay below 2 GiB");
    const uint32_t ProgramCrc = ComputeCrc32(Parts.Program.data(), Parts.Program.size());
    std::string Program = Parts.Program;
    PartOf(Sources, TPackagePart::ProgramBlock).Bytes =
        BuildProgramBlock(Program, DefaultProgramDictionarySize);
    PartOf(Sources, TPackagePart::SecondData).Bytes = Parts.SecondData;
    PartOf(Sources, TPackagePart::SetupDataSignature)
        .Bytes.assign(reinterpret_cast<const char *>(SetupDataSignature), SetupDataSignatureSize);
    PartOf(Sources, TPackagePart::SetupData).Bytes = Parts.SetupData;

    const TLoaderOffsetTable Table =
        PlanTable(Sources, static_cast<uint32_t>(Parts.Program.size()), ProgramCrc);
    StampImage(Image, StubInfo, Table);
    std::string Package;
    WalkParts(Sources, [&](const void *Data, size_t Count) {
        Package.append(static_cast<const char *>(Data), Count);
    });
    Package.append(static_cast<size_t>(CertificateAlignmentPadding(Package.size())), '\0');
    const uint32_t Sum =
        ComputePeChecksum(reinterpret_cast<const uint8_t *>(Package.data()), Package.size(),
                          StubInfo.Headers.ChecksumOffset);
    StoreLe32(&Package[static_cast<size_t>(StubInfo.Headers.ChecksumOffset)], Sum);
    return Package;
}
