#include "tools/package_reader.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

#include "records/message_block.h"
#include "records/data_fault_text.h"
#include "records/setup_package.h"
#include "setupdata/block_format.h"
#include "setupdata/crc32.h"
#include "setupdata/file.h"
#include "setupdata/file_tree.h"
#include "setupdata/file_tree_reader.h"
#include "support/builtin_texts.h"
#include "support/byte_order.h"
#include "tools/package_layout.h"
#include "tools/text_codec.h"

namespace {

// The loader's own texts are built-in ANSI bytes; the tool shows them as UTF-8.
std::string Shown(const Exception &E) {
    return CodePageToDisplay(E.Message(), BuiltinTextCodePage);
}

std::string Hex32(uint32_t V) {
    char Text[16];
    std::snprintf(Text, sizeof(Text), "0x%08X", V);
    return Text;
}

// Reads up to Count bytes at Offset; returns how many arrived.
size_t ReadAt(TCustomFile &File, uint64_t Offset, void *Buffer, size_t Count) {
    if (Offset >= File.GetSize())
        return 0;
    File.SeekTo64(Offset);
    size_t Done = 0;
    while (Done < Count) {
        uint32_t Got = File.Read(static_cast<uint8_t *>(Buffer) + Done,
                                 static_cast<uint32_t>(Count - Done));
        if (Got == 0)
            break;
        Done += Got;
    }
    return Done;
}

TBlockInfo ReadBlockInfo(TCustomFile &File, uint64_t Offset, uint64_t FileSize) {
    TBlockInfo Info;
    Info.Offset = Offset;
    uint8_t Bytes[BlockHeaderSize];
    if (ReadAt(File, Offset, Bytes, sizeof(Bytes)) != sizeof(Bytes))
        return Info;
    Info.Present = true;
    TBlockHeader Header;
    auto BytesLeft = [&] { return FileSize - (Offset + BlockHeaderSize); };
    Info.HeaderValid = CheckBlockHeader(Bytes, BytesLeft, Header).Check == TFaultCheck::None;
    Info.StoredSize = Header.StoredSize;
    Info.Compressed = Header.IsCompressed;
    return Info;
}

// Reads through another file and reports how far reading has come into one range of it (the
// program block while it is decoded). Borrows the file.
class TProgressFile : public TCustomFile {
public:
    using TReport = std::function<void(uint64_t Done, uint64_t Total)>;

    TProgressFile(TCustomFile &Inner, uint64_t From, uint64_t To, TReport Report)
        : FInner(Inner), FFrom(From), FTo(To), FReport(std::move(Report)),
          FPosition(Inner.GetPosition()) {}

    uint64_t GetPosition() override { return FPosition; }
    uint64_t GetSize() override { return FInner.GetSize(); }
    uint32_t Read(void *Buffer, uint32_t Count) override {
        const uint32_t Got = FInner.Read(Buffer, Count);
        FPosition += Got;
        if (FPosition > FFrom && FTo > FFrom)
            FReport(std::min(FPosition, FTo) - FFrom, FTo - FFrom);
        return Got;
    }
    void SeekTo64(uint64_t Offset) override {
        FInner.SeekTo64(Offset);
        FPosition = Offset;
    }
    void Write(const void *Buffer, uint32_t Count) override { FInner.Write(Buffer, Count); }

private:
    TCustomFile &FInner;
    uint64_t FFrom, FTo;
    TReport FReport;
    uint64_t FPosition;
};

// The sentence a tool prints for a package the loader would refuse: the fault the acceptance
// routine found, or the loader's own text for a failure without one.
std::string FaultText(const Exception &E) {
    if (E.Fault().Check != TFaultCheck::None)
        return DescribeDataFault(E.Fault());
    return Shown(E);
}

// Opens the file and finds its offset table the way the packager placed it; fills the report as
// it goes. Returns the open file, or null when the image has no usable table (Report.Fault says
// why). A file that cannot be opened is EPackageOpenError.
std::unique_ptr<TCustomFile> OpenPackage(const std::string &Path, TPackageReport &Report) {
    // The host's own reason when the file cannot be read at all, worded as in every command.
    std::unique_ptr<TCustomFile> File(
        new THostInputFile(OpenHostInput(Path, "installer", ~uint64_t(0))));
    Report.FileSize = File->GetSize();
    // The headers lie in the first bytes; the resources anywhere in the image.
    std::string Bytes(static_cast<size_t>(std::min<uint64_t>(Report.FileSize, 65536)), '\0');
    Bytes.resize(ReadAt(*File, 0, &Bytes[0], Bytes.size()));
    try {
        Report.Pe = ParsePeHeaders(reinterpret_cast<const uint8_t *>(Bytes.data()), Bytes.size());
        Report.HaveHeaders = true;
        Bytes.resize(static_cast<size_t>(std::min(Report.FileSize, Report.Pe.ImageEnd)));
        Bytes.resize(ReadAt(*File, 0, &Bytes[0], Bytes.size()));
        Report.Table =
            FindOffsetTableInImage(reinterpret_cast<const uint8_t *>(Bytes.data()), Bytes.size());
        Report.HaveTable = true;
    } catch (const EStubError &E) {
        Report.Fault = "offset table: " + E.Message();
        return nullptr;
    }
    return File;
}

// Runs the loader's acceptance of the whole package and records its outcome. A failure that is
// not the package's (the file cannot be read, memory) is thrown on.
void AcceptInto(TCustomFile &File, const TAcceptOptions &Options, TPackageReport &Report,
                TAcceptedPackage &Accepted, const std::string &Path) {
    try {
        AcceptPackage(File, Report.Table, Options, Accepted);
    } catch (const EFileError &E) {
        if (E.Fault().Check == TFaultCheck::None)
            throw EPackageOpenError(Path + ": " + Shown(E));
        Report.Fault = FaultText(E);
        Report.FaultStructure = E.Fault().Structure;
    } catch (const ESetupCorrupt &E) {
        Report.Fault = FaultText(E);
        Report.FaultStructure = E.Fault().Structure;
    }
    Report.TableAccepted = Accepted.HeadAccepted ||
                           (Report.FaultStructure != TFaultStructure::OffsetTable &&
                            Report.FaultStructure != TFaultStructure::SetupDataSignature);
}

void ComputeChecksum(TCustomFile &File, TPackageReport &Report) {
    TPeChecksum Sum(Report.Pe.ChecksumOffset);
    std::string Buffer(1u << 20, '\0');
    File.SeekTo64(0);
    for (;;) {
        uint32_t Got = File.Read(&Buffer[0], static_cast<uint32_t>(Buffer.size()));
        if (Got == 0)
            break;
        Sum.Add(Buffer.data(), Got);
    }
    Report.ComputedChecksum = Sum.Finish();
}

// The signature, and what lies behind MinFileSize: quovpack's own zero padding to the
// certificate table's alignment, a signer's certificate table, or bytes that get a note.
void ReadSignatureInto(const std::string &Path, TCustomFile &File, TPackageReport &Report) {
    Report.Signature = CheckSignature(Path);
    const TSignatureReport &S = Report.Signature;
    for (const std::string &Finding : S.Findings)
        Report.Notes.push_back("signature: " + Finding);
    if (Report.Fault.empty() && !S.Fault.empty()) {
        Report.Fault = "signature: " + S.Fault;
        Report.SignatureFault = true;
    }
    const uint64_t MinFileSize = Report.Table.MinFileSize;
    uint64_t TailEnd = Report.FileSize;
    if (S.Present && S.TableOffset < MinFileSize)
        Report.Notes.push_back("signature: the certificate table begins before MinFileSize, "
                               "inside the package");
    else if (S.Present && S.TableOffset <= Report.FileSize)
        TailEnd = S.TableOffset;
    if (TailEnd <= MinFileSize)
        return;
    const uint64_t Count = TailEnd - MinFileSize;
    char Tail[CertificateTableAlignment] = {};
    if (Count == CertificateAlignmentPadding(MinFileSize) &&
        ReadAt(File, MinFileSize, Tail, static_cast<size_t>(Count)) == Count &&
        std::all_of(Tail, Tail + Count, [](char C) { return C == 0; }))
        return;
    Report.Notes.push_back(std::to_string(Count) + " bytes follow MinFileSize" +
                           (S.Present ? " before the certificate table" : " (a signature?)"));
}

// The setup-data area, when it holds a stored folder: every file read back through the
// reference setup program's reader, its CRC compared; the first fault goes into the report.
template <typename TPhase>
void ReadStoredFolder(TCustomFile &File, TPackageReport &Report, const TPhase &Phase) {
    const TBlockInfo &Records = Report.RecordsBlock;
    const uint64_t Start = Records.End();
    if (!Records.HeaderValid ||
        uint64_t(Report.Table.SetupProgramOffset) < Start + FileTreeAreaHeaderSize)
        return;
    uint8_t Signature[FileTreeSignatureSize];
    File.SeekTo64(Start);
    File.ReadExact(Signature, sizeof Signature);
    if (std::memcmp(Signature, FileTreeSignature, sizeof Signature) != 0)
        return;
    Phase("reading the stored folder");
    Report.HaveStoredFolder = true;
    File.SeekTo64(Start);
    try {
        TFileTreeReader Reader(File);
        for (const TFileTreeEntry &Entry : Reader.Index().Entries) {
            if (Entry.IsFolder)
                continue;
            Reader.ReadFile(Entry, [](const void *, uint32_t) {});
            ++Report.StoredFolderFiles;
        }
    } catch (const Exception &E) {
        Report.StoredFolderFault = "stored folder at offset " + std::to_string(Start) + ": " +
                                   (E.Fault().Check != TFaultCheck::None
                                        ? DescribeDataFault(E.Fault())
                                        : E.Message());
    }
}

} // namespace

TPackageReport ReadPackage(const std::string &Path, bool DecodeProgram,
                           const TReadProgress &Progress) {
    auto Phase = [&](const std::string &Text) {
        if (Progress)
            Progress(Text, 0, 0);
    };
    TPackageReport Report;
    Phase("reading the offset table");
    std::unique_ptr<TCustomFile> File = OpenPackage(Path, Report);
    if (!File) {
        if (Report.HaveHeaders && Report.Pe.ChecksumOffset + 4 <= Report.FileSize) {
            THostInputFile Again(OpenHostInput(Path, "installer", ~uint64_t(0)));
            ComputeChecksum(Again, Report);
        }
        Report.Signature = CheckSignature(Path); // reported beside the loader's fault
        return Report;
    }
    Phase("checking the package");
    TAcceptOptions Options;
    Options.DecodeProgram = DecodeProgram;
    TAcceptedPackage Accepted;
    const std::string DecodePhase = "decoding the setup program";
    TProgressFile Watched(*File, Report.Table.SetupProgramOffset, Report.Table.MinFileSize,
                          [&](uint64_t Done, uint64_t Total) {
                              if (Progress && DecodeProgram)
                                  Progress(DecodePhase, Done, Total);
                          });
    AcceptInto(Watched, Options, Report, Accepted, Path);
    Report.ProgramChecked =
        DecodeProgram && (Report.Fault.empty() ||
                          Report.FaultStructure == TFaultStructure::SetupProgram);
    Report.ProgramValid = DecodeProgram && Report.Fault.empty();
    if (Report.TableAccepted) {
        const uint64_t RecordsOffset =
            uint64_t(Report.Table.SetupDataOffset) + SetupDataSignatureSize;
        Report.RecordsBlock = ReadBlockInfo(*File, RecordsOffset, Report.FileSize);
        Report.ProgramBlock =
            ReadBlockInfo(*File, Report.Table.SetupProgramOffset, Report.FileSize);
    }

    if (Accepted.HeadAccepted) {
        const TSetupHeaderRec &Header = Accepted.Header;
        Report.HaveRecords = true;
        Report.ApplicationName = Header.ApplicationName();
        Report.DetectMode = Header.LanguageDetectMode();
        Report.NoStartupPrompt = Header.NoStartupPrompt();
        Report.LanguageEntryCount = Header.LanguageEntryCount();
        if (Accepted.Entries.empty())
            Report.Notes.push_back("no languages: every loader message will be empty");
        std::string Scratch[LoaderMessageCount];
        for (const TSetupLanguageEntry &Entry : Accepted.Entries) {
            TLanguageReport Language;
            Language.Name = Entry.Name();
            Language.LanguageId = Entry.LanguageID();
            Language.CodePage = Entry.CodePage();
            const std::string &Block = Entry.MessageBlock();
            Language.MessageBlockSize = Block.size();
            // Each block's own verdict; the report's fault is the first of them.
            try {
                ParseMessageBlock(Block.data(), Block.size(), Scratch);
                Language.MessageBlockValid = true;
            } catch (const ESetupCorrupt &) {
            }
            Report.Languages.push_back(Language);
        }
    }

    if (DecodeProgram && Report.TableAccepted)
        ReadStoredFolder(*File, Report, Phase);

    Phase("computing the PE checksum");
    ComputeChecksum(*File, Report);
    if (Report.ComputedChecksum != Report.Pe.StoredChecksum)
        Report.Notes.push_back("PE checksum is " + Hex32(Report.Pe.StoredChecksum) +
                               ", the file gives " + Hex32(Report.ComputedChecksum) +
                               " (Windows does not check it for programs)");
    if (Report.ProgramBlock.HeaderValid && Report.ProgramBlock.End() != Report.Table.MinFileSize)
        Report.Notes.push_back("the setup program block does not end at MinFileSize");
    ReadSignatureInto(Path, *File, Report);
    return Report;
}

std::vector<TMapEntry> PackageFileMap(const TPackageReport &R) {
    std::vector<TMapEntry> Map;
    const TLoaderOffsetTable &T = R.Table;
    const TBlockInfo &Records = R.RecordsBlock;
    for (const TPackagePartInfo &Part : PackageParts) {
        auto Add = [&](uint64_t Offset, uint64_t Size) {
            Map.push_back({Part.Name, Offset, Size});
        };
        if (Part.Part != TPackagePart::Image && !R.TableAccepted)
            break;
        switch (Part.Part) {
        case TPackagePart::Image:
            if (R.HaveHeaders)
                Add(0, std::min(R.Pe.ImageEnd, R.FileSize));
            break;
        case TPackagePart::SecondData:
            if (T.SetupDataOffset >= T.SecondDataOffset)
                Add(T.SecondDataOffset, uint64_t(T.SetupDataOffset) - T.SecondDataOffset);
            break;
        case TPackagePart::SetupDataSignature:
            Add(T.SetupDataOffset, SetupDataSignatureSize);
            break;
        case TPackagePart::RecordsBlock:
            if (Records.HeaderValid)
                Add(Records.Offset, Records.End() - Records.Offset);
            break;
        case TPackagePart::SetupData:
            if (Records.HeaderValid && T.SetupProgramOffset >= Records.End())
                Add(Records.End(), T.SetupProgramOffset - Records.End());
            break;
        case TPackagePart::ProgramBlock:
            if (R.ProgramBlock.HeaderValid)
                Add(R.ProgramBlock.Offset, R.ProgramBlock.End() - R.ProgramBlock.Offset);
            break;
        }
    }
    if (!R.TableAccepted)
        return Map;
    // Behind the recorded length: quovpack's padding, a signer's certificate table, the rest.
    const TSignatureReport &S = R.Signature;
    const bool TableBehind =
        S.Present && S.TableOffset >= T.MinFileSize && S.TableOffset + S.TableSize <= R.FileSize;
    const uint64_t TailEnd = TableBehind ? S.TableOffset : R.FileSize;
    if (TailEnd > T.MinFileSize)
        Map.push_back({TailEnd - T.MinFileSize == CertificateAlignmentPadding(T.MinFileSize)
                           ? "padding to 8 bytes"
                           : "behind MinFileSize",
                       T.MinFileSize, TailEnd - T.MinFileSize});
    if (TableBehind) {
        Map.push_back({"certificate table", S.TableOffset, S.TableSize});
        if (S.TableOffset + S.TableSize < R.FileSize)
            Map.push_back({"behind the certificate table", S.TableOffset + S.TableSize,
                           R.FileSize - S.TableOffset - S.TableSize});
    }
    return Map;
}

uint32_t ApplicationNameCodePage(const TPackageReport &Report) {
    for (const TLanguageReport &L : Report.Languages)
        if (L.CodePage != 0)
            return L.CodePage;
    return 0;
}

void ExtractProgram(const std::string &Path, const std::string &OutputPath) {
    RefuseOutputOverInputs(OutputPath, {{"installer", Path}});
    TPackageReport Report;
    std::unique_ptr<TCustomFile> File = OpenPackage(Path, Report);
    if (!File)
        throw EPackageFault(Report.Fault);
    // What the loader checks before it extracts: the table, the file and the records (it loads
    // only the message block it picks), then the program.
    TAcceptOptions Options;
    Options.AllMessageBlocks = false;
    TAcceptedPackage Accepted;
    AcceptInto(*File, Options, Report, Accepted, Path);
    if (!Report.Fault.empty())
        throw EPackageFault(Report.Fault);
    THostOutput Output(OutputPath);
    Output.Write(Accepted.Program.get(), Report.Table.SetupProgramSize);
    Output.Commit(/*Executable=*/false);
}
