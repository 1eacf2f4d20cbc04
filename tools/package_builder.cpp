#include "tools/package_builder.h"

#include <cstring>

#include "records/setup_records.h"
#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"
#include "support/byte_order.h"
#include "tools/authenticode.h"
#include "tools/host_files.h"
#include "tools/message_file.h"
#include "tools/packlib/block_writer.h"
#include "tools/packlib/lzma_compress.h"
#include "tools/packlib/message_block_writer.h"
#include "tools/packlib/pe_stub.h"
#include "tools/packlib/record_writer.h"
#include "tools/text_codec.h"

// Output layout:
//   0                   the stub image, its RCDATA 11111 slot holding the sealed table
//   SecondDataOffset    the second data file's bytes (none: the offset is still the image end)
//   SetupDataOffset     64 zero bytes, then one LZMA block: the header record and one language
//                       entry per message file; then the setup data file's bytes as given
//   SetupProgramOffset  one LZMA block: the program with its call operands made absolute
//   MinFileSize         the end of the file
// The PE checksum covers the whole file and is written last.

namespace {

[[noreturn]] void InputError(const std::string &Why) { throw EPackInputError(Why); }

// The output: written under a temporary name beside the target, summed for the PE checksum as
// it goes, and renamed over the target at the end.
class TOutput {
public:
    TOutput(const std::string &Target, uint64_t ChecksumOffset)
        : FFile(Target), FChecksum(ChecksumOffset) {}

    void Write(const void *Data, size_t Count) {
        FChecksum.Add(Data, Count);
        FFile.Write(Data, Count);
    }

    uint64_t Size() const { return FFile.Size(); }

    // Patches the checksum field, makes the file executable, flushes it, runs Finish on it and
    // renames it.
    uint32_t Commit(uint64_t ChecksumOffset,
                    const std::function<void(const std::string &)> &Finish) {
        uint32_t Sum = FChecksum.Finish();
        uint8_t Bytes[4];
        StoreLe32(Bytes, Sum);
        FFile.WriteAt(ChecksumOffset, Bytes, 4);
        FFile.Commit(/*Executable=*/true, Finish);
        return Sum;
    }

private:
    THostOutput FFile;
    TPeChecksum FChecksum;
};

// Copies a whole input to the output in pieces, reporting progress.
void CopyInput(THostInput &In, TOutput &Out, const TPackProgress &Progress, const std::string &Phase) {
    std::string Buffer(1u << 20, '\0');
    uint64_t Left = In.Size;
    while (Left > 0) {
        size_t Count = Left < Buffer.size() ? static_cast<size_t>(Left) : Buffer.size();
        ReadHostInput(In, &Buffer[0], Count);
        Out.Write(Buffer.data(), Count);
        Left -= Count;
        if (Progress)
            Progress(Phase, In.Size - Left, In.Size);
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

struct TPartSizes {
    uint64_t Image = 0;
    uint64_t SecondData = 0;
    uint64_t RecordsBlock = 0;
    uint64_t SetupData = 0;
    uint64_t ProgramBlock = 0;
};

// The sealed table for parts of these sizes in the packager's order, checked against the 32-bit
// offsets before anything is written.
TLoaderOffsetTable PlanTable(const TPartSizes &Sizes, uint32_t ProgramSize, uint32_t ProgramCrc) {
    const uint64_t SecondDataOffset = Sizes.Image;
    const uint64_t SetupDataOffset = SecondDataOffset + Sizes.SecondData;
    const uint64_t SetupProgramOffset =
        SetupDataOffset + SetupDataSignatureSize + Sizes.RecordsBlock + Sizes.SetupData;
    const uint64_t FileSize = SetupProgramOffset + Sizes.ProgramBlock;
    if (FileSize > MaxPackageSize)
        InputError("the installer would have " + std::to_string(FileSize) +
                   " bytes; its offsets are 32-bit, so it must stay below 4 GiB");
    TLoaderOffsetTable Table{};
    std::memcpy(Table.Signature, OffsetTableSignature, sizeof(Table.Signature));
    Table.FormatVersion = OffsetTableFormatVersion;
    Table.MinFileSize = static_cast<uint32_t>(FileSize);
    Table.SetupProgramOffset = static_cast<uint32_t>(SetupProgramOffset);
    Table.SetupProgramSize = ProgramSize;
    Table.SetupProgramCRC = ProgramCrc;
    Table.SetupDataOffset = static_cast<uint32_t>(SetupDataOffset);
    Table.SecondDataOffset = static_cast<uint32_t>(SecondDataOffset);
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
    auto Phase = [&](const std::string &Text) {
        if (Progress)
            Progress(Text, 0, 0);
    };
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

    // Every input is opened and measured before any work, so that a missing file is found first.
    Phase("reading the stub");
    THostInput Stub = OpenHostInput(Options.StubPath, "stub", MaxStubImageSize,
                                    "a loader stub is far smaller");
    THostInput Program = OpenHostInput(Options.ProgramPath, "setup program", MaxSetupProgramSize,
                                       "the loader takes programs below 2 GiB");
    THostInput SecondData, SetupData;
    if (!Options.SecondDataPath.empty())
        SecondData = OpenHostInput(Options.SecondDataPath, "second data file", MaxPackageSize,
                                   "an installer must stay below 4 GiB");
    if (!Options.SetupDataPath.empty())
        SetupData = OpenHostInput(Options.SetupDataPath, "setup data file", MaxPackageSize,
                                  "an installer must stay below 4 GiB");

    // The headers lie in the first bytes; what the loader hands to CreateProcess must be a
    // program Windows starts.
    std::string Head(static_cast<size_t>(std::min<uint64_t>(Program.Size, 65536)), '\0');
    Head.resize(ReadHostInputHead(Program, &Head[0], Head.size()));
    TProgramImageCheck Runnable = CheckProgramImage(
        reinterpret_cast<const uint8_t *>(Head.data()), Head.size(), Program.Size);
    if (!Runnable.Refusal.empty())
        InputError("setup program " + Options.ProgramPath +
                   " cannot be started by Windows: " + Runnable.Refusal);
    for (const std::string &W : Runnable.Warnings)
        Result.Warnings.push_back("setup program " + Options.ProgramPath + ": " + W);

    std::string Image = ReadWholeHostInput(Stub);
    const TStubImage StubInfo = AnalyzeStubImage(Image, Options.StubPath);

    Phase("reading the message files");
    std::vector<TMessageFile> Languages;
    std::vector<uint32_t> CodePages;
    std::vector<TNameShownBy> Shown;
    for (const std::string &Path : Options.LanguagePaths) {
        try {
            Languages.push_back(LoadMessageFile(Path));
        } catch (const EMessageFileError &E) {
            InputError(E.Message());
        }
        CodePages.push_back(Languages.back().CodePage);
        Shown.push_back({CodePageToDisplay(Languages.back().Name, Languages.back().CodePage), Path,
                         Languages.back().CodePage});
        for (const std::string &W : Languages.back().Warnings)
            Result.Warnings.push_back(W);
    }
    for (size_t I = 0; I < Languages.size(); ++I)
        for (size_t J = 0; J < I; ++J)
            if (Languages[I].Name == Languages[J].Name)
                Result.Warnings.push_back(Options.LanguagePaths[I] + ": language name is also used by " +
                                          Options.LanguagePaths[J] +
                                          "; \"/Lang=\" can only ever choose the first");

    if (Options.ApplicationName.empty())
        InputError("the application name is empty");
    TSetupHeaderFields Header;
    Header.ApplicationName = ConvertApplicationName(Options.ApplicationName, CodePages);
    std::string NameWarning =
        CheckApplicationNameShown(Options.ApplicationName, Header.ApplicationName, Shown);
    if (!NameWarning.empty())
        Result.Warnings.push_back(NameWarning);
    Header.LanguageEntryCount = static_cast<int32_t>(Languages.size());
    Header.LanguageDetectMode = Options.DetectMode;
    Header.NoStartupPrompt = Options.NoStartupPrompt;
    // Refused before the long work, since nothing gets written anyway.
    if (Options.WarningsAreErrors && !Result.Warnings.empty())
        throw EPackWarnings(Result.Warnings);

    Phase("compressing the setup records");
    std::string RecordsBlock;
    try {
        std::vector<TSetupLanguageFields> Entries;
        for (const TMessageFile &Language : Languages) {
            Entries.emplace_back();
            Entries.back().Name = Language.Name;
            Entries.back().MessageBlock = BuildMessageBlock(Language.Messages);
            Entries.back().LanguageID = Language.LanguageId;
            Entries.back().CodePage = Language.CodePage;
        }
        const std::string Records = BuildRecords(Header, Entries);
        AppendLzmaBlock(RecordsBlock, Records.data(), Records.size());
    } catch (const ECompressError &E) {
        InputError("setup records: " + CodePageToDisplay(E.Message(), 936));
    }

    const std::string CompressPhase = "compressing the setup program";
    Phase(CompressPhase);
    std::string ProgramBytes = ReadWholeHostInput(Program);
    const uint32_t ProgramCrc = ComputeCrc32(ProgramBytes.data(), ProgramBytes.size());
    std::string ProgramBlock;
    try {
        ProgramBlock = BuildProgramBlock(ProgramBytes, Options.DictionarySize, [&](uint64_t Done) {
            if (Progress)
                Progress(CompressPhase, Done, Program.Size);
        });
    } catch (const ECompressError &E) {
        InputError("setup program " + Options.ProgramPath +
                   ": its compressed block would be too large for the loader (" +
                   CodePageToDisplay(E.Message(), 936) + ")");
    }

    const TLoaderOffsetTable &Table = Result.Table =
        PlanTable({Image.size(), SecondData.Size, RecordsBlock.size(), SetupData.Size,
                   ProgramBlock.size()},
                  static_cast<uint32_t>(Program.Size), ProgramCrc);
    StampImage(Image, StubInfo, Table);
    const uint64_t FileSize = Table.MinFileSize;

    TOutput Out(Options.OutputPath, StubInfo.Headers.ChecksumOffset);
    Phase("writing " + Options.OutputPath);
    Out.Write(Image.data(), Image.size());
    if (SecondData.Size != 0)
        CopyInput(SecondData, Out, Progress, "copying the second data file");
    Out.Write(SetupDataSignature, SetupDataSignatureSize);
    Out.Write(RecordsBlock.data(), RecordsBlock.size());
    if (SetupData.Size != 0)
        CopyInput(SetupData, Out, Progress, "copying the setup data file");
    Out.Write(ProgramBlock.data(), ProgramBlock.size());
    if (Out.Size() != FileSize)
        throw EPackOutputError("internal error: wrote " + std::to_string(Out.Size()) +
                               " bytes instead of " + std::to_string(FileSize));
    // Zeros behind the recorded length up to where a signer puts its certificate table, so that
    // no signer pads the file itself; the loader reads nothing there.
    const char Padding[CertificateTableAlignment] = {};
    Out.Write(Padding, static_cast<size_t>(CertificateAlignmentPadding(FileSize)));
    Result.PeChecksum = Out.Commit(StubInfo.Headers.ChecksumOffset, Options.Finish);
    Result.ImageSize = Image.size();
    Result.ProgramBlockSize = ProgramBlock.size();
    return Result;
}

std::string BuildPackage(const TPackageParts &Parts, const TPackageEdits &Edits) {
    std::string Image = Parts.Stub;
    const TStubImage StubInfo = AnalyzeStubImage(Image, "image");
    std::string Records = BuildRecords(Parts.Header, Parts.Languages);
    if (Edits.Records)
        Edits.Records(Records);
    std::string RecordsBlock;
    AppendLzmaBlock(RecordsBlock, Records.data(), Records.size());
    if (Edits.RecordsBlock)
        Edits.RecordsBlock(RecordsBlock);
    if (Parts.Program.size() > MaxSetupProgramSize)
        InputError("the setup program must stay below 2 GiB");
    const uint32_t ProgramCrc = ComputeCrc32(Parts.Program.data(), Parts.Program.size());
    std::string Program = Parts.Program;
    const std::string ProgramBlock = BuildProgramBlock(Program, DefaultProgramDictionarySize);

    const TLoaderOffsetTable Table =
        PlanTable({Image.size(), Parts.SecondData.size(), RecordsBlock.size(),
                   Parts.SetupData.size(), ProgramBlock.size()},
                  static_cast<uint32_t>(Parts.Program.size()), ProgramCrc);
    StampImage(Image, StubInfo, Table);
    std::string Package = Image + Parts.SecondData;
    Package.append(reinterpret_cast<const char *>(SetupDataSignature), SetupDataSignatureSize);
    Package += RecordsBlock;
    Package += Parts.SetupData;
    Package += ProgramBlock;
    Package.append(static_cast<size_t>(CertificateAlignmentPadding(Package.size())), '\0');
    const uint32_t Sum =
        ComputePeChecksum(reinterpret_cast<const uint8_t *>(Package.data()), Package.size(),
                          StubInfo.Headers.ChecksumOffset);
    StoreLe32(&Package[static_cast<size_t>(StubInfo.Headers.ChecksumOffset)], Sum);
    return Package;
}
