#include "tools/package_reader.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

#include "records/messages.h"
#include "records/setup_package.h"
#include "setupdata/block_reader.h"
#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"
#include "setupdata/file.h"
#include "setupdata/lzma_decompressor.h"
#include "tools/text_codec.h"

namespace {

// The loader's own texts are code page 936 bytes; the tool shows them as UTF-8.
std::string Shown(const Exception &E) { return CodePageToDisplay(E.Message(), 936); }

std::string Hex32(uint32_t V) {
    char Text[16];
    std::snprintf(Text, sizeof(Text), "0x%08X", V);
    return Text;
}

uint32_t Get32(const uint8_t *P) {
    return static_cast<uint32_t>(P[0]) | static_cast<uint32_t>(P[1]) << 8 |
           static_cast<uint32_t>(P[2]) << 16 | static_cast<uint32_t>(P[3]) << 24;
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
    uint8_t Header[9];
    if (ReadAt(File, Offset, Header, sizeof(Header)) != sizeof(Header))
        return Info;
    Info.Present = true;
    Info.StoredSize = Get32(Header + 4);
    Info.Compressed = Header[8] != 0;
    Info.HeaderValid = ComputeCrc32(Header + 4, 5) == Get32(Header) &&
                       Info.StoredSize <= FileSize - (Offset + 9);
    return Info;
}

// A temporary file that is removed unless it is kept by renaming it.
class TTempFile {
public:
    explicit TTempFile(const std::string &Pattern) : FPath(Pattern + "XXXXXX") {
        int Fd = ::mkstemp(&FPath[0]);
        if (Fd < 0)
            throw EExtractOutputError("cannot create a temporary file " + FPath + ": " +
                                      std::strerror(errno));
        ::close(Fd);
        FExists = true;
    }
    ~TTempFile() {
        if (FExists)
            ::unlink(FPath.c_str());
    }
    const std::string &Path() const { return FPath; }
    void RenameTo(const std::string &Target) {
        if (::rename(FPath.c_str(), Target.c_str()) != 0)
            throw EExtractOutputError("cannot write " + Target + ": " + std::strerror(errno));
        FExists = false;
    }

private:
    std::string FPath;
    bool FExists = false;
};

// Finds out why the program block fails, with the reader's own messages instead of the
// single setup-corrupt text that the loader shows.
std::string DiagnoseProgram(TCustomFile &File, const TLoaderOffsetTable &Table) {
    std::unique_ptr<uint8_t, void (*)(void *)> Buffer(
        static_cast<uint8_t *>(std::calloc(Table.SetupProgramSize ? Table.SetupProgramSize : 1, 1)),
        std::free);
    if (!Buffer)
        return "not enough memory to decode the setup program";
    try {
        File.SeekTo64(Table.SetupProgramOffset);
        TCompressedBlockReader Reader(File, LZMADecompressorClass);
        Reader.Read(Buffer.get(), static_cast<int32_t>(Table.SetupProgramSize));
    } catch (const Exception &E) {
        return "setup program block: " + Shown(E);
    }
    ConvertCallOperands(Buffer.get(), Table.SetupProgramSize, /*MakeAbsolute=*/false,
                        /*PositionBias=*/0);
    uint32_t Crc = ComputeCrc32(Buffer.get(), Table.SetupProgramSize);
    if (Crc != Table.SetupProgramCRC)
        return "setup program CRC is " + Hex32(Crc) + ", the table says " +
               Hex32(Table.SetupProgramCRC);
    return std::string();
}

std::string DiagnoseRecords(TCustomFile &File, uint64_t Offset) {
    try {
        File.SeekTo64(Offset);
        TCompressedBlockReader Reader(File, LZMADecompressorClass);
        TSetupHeaderRec Header;
        ReadSetupRecord(Reader, Header);
        int32_t Count = Header.LanguageEntryCount();
        if (Count < 0 || Count > MaxLanguageEntryCount)
            return "setup records: language count " + std::to_string(Count) + " is impossible";
        for (int32_t I = 0; I < Count; ++I) {
            TSetupLanguageEntry Entry;
            try {
                ReadSetupRecord(Reader, Entry);
            } catch (const Exception &E) {
                return "setup records: language entry " + std::to_string(I) + ": " + Shown(E);
            }
        }
    } catch (const Exception &E) {
        return "setup records: " + Shown(E);
    }
    return std::string();
}

// The loader's checks of the table and of the file, one by one so that a fault can be named.
std::string CheckTable(TCustomFile &File, const TLoaderOffsetTable &Table, uint64_t FileSize) {
    if (Table.FormatVersion != OffsetTableFormatVersion)
        return "offset table format version is " + std::to_string(Table.FormatVersion) +
               ", the loader needs " + std::to_string(OffsetTableFormatVersion);
    uint32_t Crc = ComputeCrc32(&Table, OffsetTableChecksummedBytes);
    if (Crc != Table.TableChecksum)
        return "offset table checksum is " + Hex32(Table.TableChecksum) + " but its bytes give " +
               Hex32(Crc) + " (table damaged or never filled in)";
    if (FileSize < Table.MinFileSize)
        return "file has " + std::to_string(FileSize) + " bytes but must have at least " +
               std::to_string(Table.MinFileSize) + " (truncated)";
    uint8_t Signature[SetupDataSignatureSize];
    if (ReadAt(File, Table.SetupDataOffset, Signature, sizeof(Signature)) != sizeof(Signature))
        return "file ends inside the setup data signature at " +
               std::to_string(Table.SetupDataOffset);
    if (std::memcmp(Signature, SetupDataSignature, sizeof(Signature)) != 0)
        return "no setup data signature at offset " + std::to_string(Table.SetupDataOffset);
    return std::string();
}

// Opens the file and runs the loader's acceptance of its table; fills the report as it goes.
// Returns the open file positioned behind the setup data signature, or null after a fault.
std::unique_ptr<TFile> OpenAndAccept(const std::string &Path, TPackageReport &Report) {
    std::unique_ptr<TFile> File;
    try {
        File.reset(new TFile(Path, fcOpenExisting, amRead, smRead));
        Report.FileSize = File->GetSize();
    } catch (const EFileError &E) {
        throw EPackageOpenError(Path + ": " + Shown(E));
    }
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
    Report.Fault = CheckTable(*File, Report.Table, Report.FileSize);
    if (!Report.Fault.empty())
        return nullptr;
    // The loader's own acceptance must agree with the checks above.
    try {
        AcceptOffsetTable(Report.Table, *File);
    } catch (const Exception &E) {
        Report.Fault = "offset table refused: " + Shown(E);
        return nullptr;
    }
    Report.TableAccepted = true;
    return File;
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

} // namespace

TPackageReport ReadPackage(const std::string &Path, bool DecodeProgram,
                           const TReadProgress &Progress) {
    auto Phase = [&](const std::string &Text) {
        if (Progress)
            Progress(Text);
    };
    TPackageReport Report;
    Phase("checking the offset table");
    std::unique_ptr<TFile> File = OpenAndAccept(Path, Report);
    if (!File) {
        if (Report.HaveHeaders && Report.Pe.ChecksumOffset + 4 <= Report.FileSize) {
            std::unique_ptr<TFile> Again(new TFile(Path, fcOpenExisting, amRead, smRead));
            ComputeChecksum(*Again, Report);
        }
        return Report;
    }
    const uint64_t RecordsOffset = uint64_t(Report.Table.SetupDataOffset) + SetupDataSignatureSize;
    Report.RecordsBlock = ReadBlockInfo(*File, RecordsOffset, Report.FileSize);
    Report.ProgramBlock = ReadBlockInfo(*File, Report.Table.SetupProgramOffset, Report.FileSize);

    Phase("reading the setup records");
    File->SeekTo64(RecordsOffset);
    TSetupHeaderRec Header;
    std::vector<TSetupLanguageEntry> Entries;
    try {
        ReadSetupRecords(*File, Header, Entries);
        Report.HaveRecords = true;
    } catch (const Exception &E) {
        std::string Why = DiagnoseRecords(*File, RecordsOffset);
        Report.Fault = Why.empty() ? "setup records: " + Shown(E) : Why;
    }
    if (Report.HaveRecords) {
        Report.ApplicationName = Header.ApplicationName();
        Report.DetectMode = Header.LanguageDetectMode();
        Report.NoStartupPrompt = Header.NoStartupPrompt();
        Report.LanguageEntryCount = Header.LanguageEntryCount();
        if (Entries.empty())
            Report.Notes.push_back("no languages: every loader message will be empty");
        for (size_t I = 0; I < Entries.size(); ++I) {
            TLanguageReport Language;
            Language.Name = Entries[I].Name();
            Language.LanguageId = Entries[I].LanguageID();
            Language.CodePage = Entries[I].CodePage();
            const std::string &Block = Entries[I].MessageBlock();
            Language.MessageBlockSize = Block.size();
            try {
                LoadMessageBlock(Block.data(), Block.size());
                Language.MessageBlockValid = true;
            } catch (const Exception &) {
                if (Report.Fault.empty())
                    Report.Fault = "language " + std::to_string(I) + " (" +
                                   CodePageToDisplay(Language.Name, Language.CodePage) +
                                   "): its message block is invalid";
            }
            Report.Languages.push_back(Language);
        }
        // The table's setup-corrupt text would otherwise come from the last language checked.
        ClearLoaderMessages();
    }

    if (DecodeProgram && Report.Fault.empty()) {
        Phase("decoding the setup program (" + std::to_string(Report.Table.SetupProgramSize) +
              " bytes)");
        TTempFile Temp((std::getenv("TMPDIR") ? std::string(std::getenv("TMPDIR")) : "/tmp") +
                       "/quovpack-verify-");
        try {
            TFile Target(Temp.Path(), fcCreateAlways, amWrite, smNone);
            File->SeekTo64(Report.Table.SetupProgramOffset);
            ExtractSetupProgram(*File, Report.Table, Target);
            Report.ProgramValid = true;
        } catch (const EFileError &E) {
            Report.Fault = "setup program: " + Shown(E);
        } catch (const Exception &E) {
            std::string Why = DiagnoseProgram(*File, Report.Table);
            Report.Fault = Why.empty() ? "setup program: " + Shown(E) : Why;
        }
        Report.ProgramChecked = true;
    }

    Phase("computing the PE checksum");
    ComputeChecksum(*File, Report);
    if (Report.ComputedChecksum != Report.Pe.StoredChecksum)
        Report.Notes.push_back("PE checksum is " + Hex32(Report.Pe.StoredChecksum) +
                               ", the file gives " + Hex32(Report.ComputedChecksum) +
                               " (Windows does not check it for programs)");
    if (Report.ProgramBlock.HeaderValid && Report.ProgramBlock.End() != Report.Table.MinFileSize)
        Report.Notes.push_back("the setup program block does not end at MinFileSize");
    if (Report.FileSize > Report.Table.MinFileSize)
        Report.Notes.push_back(std::to_string(Report.FileSize - Report.Table.MinFileSize) +
                               " bytes follow MinFileSize (a signature?)");
    return Report;
}

void ExtractProgram(const std::string &Path, const std::string &OutputPath) {
    TPackageReport Report;
    std::unique_ptr<TFile> File = OpenAndAccept(Path, Report);
    if (!File)
        throw EPackageFault(Report.Fault);
    const uint64_t RecordsOffset = uint64_t(Report.Table.SetupDataOffset) + SetupDataSignatureSize;
    // The loader reads the records before it extracts; a file it stops at is not extracted.
    try {
        TSetupHeaderRec Header;
        std::vector<TSetupLanguageEntry> Entries;
        ReadSetupRecords(*File, Header, Entries);
    } catch (const Exception &E) {
        std::string Why = DiagnoseRecords(*File, RecordsOffset);
        throw EPackageFault(Why.empty() ? "setup records: " + Shown(E) : Why);
    }
    TTempFile Temp(OutputPath + ".tmp-");
    try {
        TFile Target(Temp.Path(), fcCreateAlways, amWrite, smNone);
        File->SeekTo64(Report.Table.SetupProgramOffset);
        ExtractSetupProgram(*File, Report.Table, Target);
    } catch (const EFileError &E) {
        throw EExtractOutputError(OutputPath + ": " + Shown(E));
    } catch (const Exception &E) {
        std::string Why = DiagnoseProgram(*File, Report.Table);
        throw EPackageFault(Why.empty() ? "setup program: " + Shown(E) : Why);
    }
    Temp.RenameTo(OutputPath);
}
