#include "tools/package_builder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "records/setup_records.h"
#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"
#include "support/byte_order.h"
#include "tools/message_file.h"
#include "tools/packlib/block_writer.h"
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

std::string SystemText(int Error) { return std::strerror(Error); }

// An open POSIX descriptor, closed on every path.
class TFd {
public:
    explicit TFd(int Fd = -1) : FFd(Fd) {}
    ~TFd() { Close(); }
    TFd(const TFd &) = delete;
    TFd &operator=(const TFd &) = delete;
    int Get() const { return FFd; }
    int Release() {
        int Fd = FFd;
        FFd = -1;
        return Fd;
    }
    void Reset(int Fd) {
        Close();
        FFd = Fd;
    }
    int Close() {
        int Result = 0;
        if (FFd >= 0)
            Result = ::close(FFd);
        FFd = -1;
        return Result;
    }

private:
    int FFd;
};

// An input file opened for reading, with its size known before anything is read.
struct TInput {
    TFd Fd;
    uint64_t Size = 0;
    std::string Path;
    std::string Role;
};

void OpenInput(TInput &In, const std::string &Path, const std::string &Role, uint64_t Max,
               const std::string &MaxText) {
    In.Path = Path;
    In.Role = Role;
    int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0)
        InputError(Role + " " + Path + ": " + SystemText(errno));
    TFd Owner(Fd);
    struct stat St;
    if (::fstat(Fd, &St) != 0)
        InputError(Role + " " + Path + ": " + SystemText(errno));
    if (!S_ISREG(St.st_mode))
        InputError(Role + " " + Path + ": not a regular file");
    In.Size = static_cast<uint64_t>(St.st_size);
    if (In.Size > Max)
        InputError(Role + " " + Path + " has " + std::to_string(In.Size) + " bytes; " + MaxText);
    In.Fd.Reset(Owner.Release());
}

// Reads Count bytes at the input's current position; a file that shrank is an input error.
void ReadInput(TInput &In, void *Buffer, size_t Count) {
    uint8_t *P = static_cast<uint8_t *>(Buffer);
    while (Count > 0) {
        ssize_t Got = ::read(In.Fd.Get(), P, Count);
        if (Got < 0 && errno == EINTR)
            continue;
        if (Got < 0)
            InputError(In.Role + " " + In.Path + ": " + SystemText(errno));
        if (Got == 0)
            InputError(In.Role + " " + In.Path + ": the file became shorter while it was read");
        P += Got;
        Count -= static_cast<size_t>(Got);
    }
}

std::string ReadWholeInput(TInput &In) {
    std::string Bytes(static_cast<size_t>(In.Size), '\0');
    ReadInput(In, &Bytes[0], Bytes.size());
    return Bytes;
}

// The output: a temporary file in the target's directory, renamed over the target at the end.
// Until Commit, destruction removes it.
class TOutput {
public:
    TOutput(const std::string &Target, uint64_t ChecksumOffset)
        : FTarget(Target), FChecksum(ChecksumOffset) {
        FTempPath = Target + ".tmp-XXXXXX";
        int Fd = ::mkstemp(&FTempPath[0]);
        if (Fd < 0)
            throw EPackOutputError("cannot create a temporary file beside " + Target + ": " +
                                   SystemText(errno));
        FFd.Reset(Fd);
        FCreated = true;
    }
    ~TOutput() {
        if (FCreated && !FCommitted) {
            FFd.Close();
            ::unlink(FTempPath.c_str());
        }
    }

    void Write(const void *Data, size_t Count) {
        FChecksum.Add(Data, Count);
        const uint8_t *P = static_cast<const uint8_t *>(Data);
        while (Count > 0) {
            ssize_t Done = ::write(FFd.Get(), P, Count);
            if (Done < 0 && errno == EINTR)
                continue;
            if (Done <= 0)
                Fail(Done < 0 ? errno : ENOSPC);
            P += Done;
            Count -= static_cast<size_t>(Done);
            FSize += static_cast<uint64_t>(Done);
        }
    }

    uint64_t Size() const { return FSize; }

    // Patches the checksum field, makes the file executable, flushes it and renames it.
    uint32_t Commit(uint64_t ChecksumOffset) {
        uint32_t Sum = FChecksum.Finish();
        uint8_t Bytes[4];
        StoreLe32(Bytes, Sum);
        if (::pwrite(FFd.Get(), Bytes, 4, static_cast<off_t>(ChecksumOffset)) != 4)
            Fail(errno);
        mode_t Mask = ::umask(0);
        ::umask(Mask);
        if (::fchmod(FFd.Get(), 0777 & ~Mask) != 0 || ::fsync(FFd.Get()) != 0)
            Fail(errno);
        if (FFd.Close() != 0)
            Fail(errno);
        if (::rename(FTempPath.c_str(), FTarget.c_str()) != 0)
            Fail(errno);
        FCommitted = true;
        return Sum;
    }

private:
    [[noreturn]] void Fail(int Error) {
        throw EPackOutputError("cannot write " + FTarget + ": " + SystemText(Error));
    }

    std::string FTarget;
    std::string FTempPath;
    TFd FFd;
    bool FCreated = false;
    bool FCommitted = false;
    TPeChecksum FChecksum;
    uint64_t FSize = 0;
};

// Copies a whole input to the output in pieces, reporting progress.
void CopyInput(TInput &In, TOutput &Out, const TPackProgress &Progress, const std::string &Phase) {
    std::string Buffer(1u << 20, '\0');
    uint64_t Left = In.Size;
    while (Left > 0) {
        size_t Count = Left < Buffer.size() ? static_cast<size_t>(Left) : Buffer.size();
        ReadInput(In, &Buffer[0], Count);
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

// The program's block: its call operands made absolute, then compressed. Program is consumed.
std::string BuildProgramBlock(std::string &Program) {
    ConvertCallOperands(&Program[0], static_cast<uint32_t>(Program.size()), /*MakeAbsolute=*/true,
                        /*PositionBias=*/0);
    std::string Block;
    AppendLzmaBlock(Block, Program.data(), Program.size());
    std::string().swap(Program);
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

TPackResult PackInstaller(const TPackOptions &Options, const TPackProgress &Progress) {
    TPackResult Result;
    auto Phase = [&](const std::string &Text) {
        if (Progress)
            Progress(Text, 0, 0);
    };
    if (Options.LanguagePaths.empty())
        InputError("at least one language (message file) is needed");

    // Every input is opened and measured before any work, so that a missing file is found first.
    Phase("reading the stub");
    TInput Stub, Program, SecondData, SetupData;
    OpenInput(Stub, Options.StubPath, "stub", MaxStubImageSize, "a loader stub is far smaller");
    OpenInput(Program, Options.ProgramPath, "setup program", MaxSetupProgramSize,
              "the loader takes programs below 2 GiB");
    if (!Options.SecondDataPath.empty())
        OpenInput(SecondData, Options.SecondDataPath, "second data file", MaxPackageSize,
                  "an installer must stay below 4 GiB");
    if (!Options.SetupDataPath.empty())
        OpenInput(SetupData, Options.SetupDataPath, "setup data file", MaxPackageSize,
                  "an installer must stay below 4 GiB");

    std::string Image = ReadWholeInput(Stub);
    const TStubImage StubInfo = AnalyzeStubImage(Image, Options.StubPath);

    Phase("reading the message files");
    std::vector<TMessageFile> Languages;
    std::vector<uint32_t> CodePages;
    for (const std::string &Path : Options.LanguagePaths) {
        try {
            Languages.push_back(LoadMessageFile(Path));
        } catch (const EMessageFileError &E) {
            InputError(E.Message());
        }
        CodePages.push_back(Languages.back().CodePage);
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
    Header.LanguageEntryCount = static_cast<int32_t>(Languages.size());
    Header.LanguageDetectMode = Options.DetectMode;
    Header.NoStartupPrompt = Options.NoStartupPrompt;

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

    Phase("compressing the setup program (" + std::to_string(Program.Size) + " bytes)");
    std::string ProgramBytes = ReadWholeInput(Program);
    const uint32_t ProgramCrc = ComputeCrc32(ProgramBytes.data(), ProgramBytes.size());
    std::string ProgramBlock;
    try {
        ProgramBlock = BuildProgramBlock(ProgramBytes);
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
    Result.PeChecksum = Out.Commit(StubInfo.Headers.ChecksumOffset);
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
    const std::string ProgramBlock = BuildProgramBlock(Program);

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
    const uint32_t Sum =
        ComputePeChecksum(reinterpret_cast<const uint8_t *>(Package.data()), Package.size(),
                          StubInfo.Headers.ChecksumOffset);
    StoreLe32(&Package[static_cast<size_t>(StubInfo.Headers.ChecksumOffset)], Sum);
    return Package;
}
