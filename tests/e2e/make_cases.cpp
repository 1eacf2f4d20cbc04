// Makes the packages of the end-to-end tests from the loader stub and the test setup program,
// with the packager's building blocks, so that damaged variants can be built with one named
// change each. Usage: e2e_make_cases STUB SETUP_PROGRAM OUTPUT_DIR
//
// Layout of every package (offsets as the packager lays them out):
//   stub image | second data area | 64 zero bytes | records block | setup program block
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <vector>

#include "records/messages.h"
#include "records/setup_records.h"
#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"
#include "setupdata/offset_table.h"
#include "tests/e2e/case_texts.h"
#include "tools/packlib/block_writer.h"
#include "tools/packlib/lzma_compress.h"
#include "tools/packlib/message_block_writer.h"
#include "tools/packlib/pe_stub.h"
#include "tools/packlib/record_writer.h"

namespace {

using E2E::TCaseLanguage;

std::string ReadFile(const std::string &Path) {
    std::ifstream In(Path, std::ios::binary);
    if (!In)
        throw std::runtime_error("cannot read " + Path);
    return std::string(std::istreambuf_iterator<char>(In), {});
}

void WriteFile(const std::string &Path, const std::string &Bytes) {
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out.write(Bytes.data(), Bytes.size());
    if (!Out)
        throw std::runtime_error("cannot write " + Path);
}

std::string MessageBlockFor(const TCaseLanguage &Language) {
    std::string Messages[LoaderMessageCount];
    for (int N = 0; N < LoaderMessageCount; ++N)
        Messages[N] = std::string(Language.Tag) + " message " + std::to_string(N);
    Messages[MsgErrorCaption] = Language.ErrorCaption;
    Messages[MsgSetupCaption] = Language.SetupCaption;
    Messages[MsgCorruptSetupData] = Language.CorruptData;
    Messages[MsgStartupPrompt] = Language.StartupPrompt;
    Messages[MsgSystemErrorFormat] = Language.SystemError;
    Messages[MsgTempFileFailed] = Language.TempFileFailed;
    Messages[MsgChildStartFailed] = Language.ChildStartFailed;
    Messages[MsgRestartFailed] = Language.RestartFailed;
    return BuildMessageBlock(Messages);
}

struct TCase {
    std::string Program; // the setup program as it is to be written
    std::vector<const TCaseLanguage *> Languages = {&E2E::English, &E2E::Chinese};
    TSetupHeaderFields Header;
    // Changes to the decompressed records (before compression), to the stored records block,
    // and to the stored program block.
    std::function<void(std::string &)> EditRecords;
    std::function<void(std::string &)> EditRecordsBlock;
    int DamagedMessageBlock = -1; // this language's block fails its CRC check

    TCase() {
        Header.ApplicationName = E2E::ApplicationName;
        Header.LanguageDetectMode = DetectByUILanguage;
    }
};

std::string BuildPackage(const std::string &Stub, const TCase &Case) {
    std::string Image = Stub;
    TStubImage StubInfo =
        AnalyzeStub(reinterpret_cast<const uint8_t *>(Image.data()), Image.size());

    std::string Records;
    TSetupHeaderFields Header = Case.Header;
    if (Header.LanguageEntryCount == 0)
        Header.LanguageEntryCount = static_cast<int32_t>(Case.Languages.size());
    Records += BuildSetupHeaderRecord(Header);
    for (size_t Index = 0; Index < Case.Languages.size(); ++Index) {
        const TCaseLanguage *Language = Case.Languages[Index];
        TSetupLanguageFields Fields;
        Fields.Name = Language->Name;
        Fields.MessageBlock = MessageBlockFor(*Language);
        if (static_cast<int>(Index) == Case.DamagedMessageBlock)
            Fields.MessageBlock[100] ^= 0x01; // inside the messages, covered by the CRC
        Fields.LanguageID = Language->LanguageID;
        Fields.CodePage = Language->CodePage;
        Records += BuildSetupLanguageRecord(Fields);
    }
    Records += E2E::TrailingSetupData;
    if (Case.EditRecords)
        Case.EditRecords(Records);

    std::string RecordsBlock;
    AppendLzmaBlock(RecordsBlock, Records.data(), Records.size());
    if (Case.EditRecordsBlock)
        Case.EditRecordsBlock(RecordsBlock);

    std::string Transformed = Case.Program;
    ConvertCallOperands(&Transformed[0], static_cast<uint32_t>(Transformed.size()),
                        /*MakeAbsolute=*/true, 0);
    std::string ProgramBlock;
    AppendLzmaBlock(ProgramBlock, Transformed.data(), Transformed.size());

    TLoaderOffsetTable Table = {};
    std::memcpy(Table.Signature, OffsetTableSignature, sizeof(Table.Signature));
    Table.FormatVersion = OffsetTableFormatVersion;
    std::string Package = Image;
    Table.SecondDataOffset = static_cast<uint32_t>(Package.size());
    Package += "second data area: only the setup program reads it";
    Table.SetupDataOffset = static_cast<uint32_t>(Package.size());
    Package.append(SetupDataSignatureSize, '\0');
    Package += RecordsBlock;
    Table.SetupProgramOffset = static_cast<uint32_t>(Package.size());
    Table.SetupProgramSize = static_cast<uint32_t>(Case.Program.size());
    Table.SetupProgramCRC = ComputeCrc32(Case.Program.data(), Case.Program.size());
    Package += ProgramBlock;
    Table.MinFileSize = static_cast<uint32_t>(Package.size());
    SealOffsetTable(Table);
    WriteOffsetTableSlot(reinterpret_cast<uint8_t *>(&Package[0]), Package.size(), StubInfo,
                         Table);
    return Package;
}

void PutInt32(std::string &Bytes, size_t Offset, int32_t Value) {
    std::memcpy(&Bytes[Offset], &Value, 4);
}

} // namespace

int main(int Argc, char **Argv) {
    if (Argc != 4) {
        std::cerr << "usage: e2e_make_cases STUB SETUP_PROGRAM OUTPUT_DIR\n";
        return 2;
    }
    try {
        std::string Stub = ReadFile(Argv[1]);
        std::string Program = ReadFile(Argv[2]);
        std::string Out = std::string(Argv[3]) + "/";
        std::filesystem::create_directories(Argv[3]);
        std::vector<std::pair<std::string, TCase>> Cases;
        auto Add = [&](const char *Name, std::function<void(TCase &)> Change) {
            TCase Case;
            Case.Program = Program;
            if (Change)
                Change(Case);
            Cases.emplace_back(Name, Case);
        };

        Add("good.exe", nullptr);
        Add("no_prompt_bit.exe", [](TCase &C) { C.Header.NoStartupPrompt = true; });
        Add("not_a_program.exe", [](TCase &C) { C.Program = "this is plain text, no program"; });
        Add("detect_locale.exe",
            [](TCase &C) { C.Header.LanguageDetectMode = DetectByUserLocale; });
        Add("detect_none.exe", [](TCase &C) {
            C.Header.LanguageDetectMode = 2;
            C.Languages = {&E2E::Chinese, &E2E::English};
        });
        // 0x409 only with code page 1252 first, then the primary-language and code-page passes.
        Add("detect_mixed.exe", [](TCase &C) {
            C.Languages = {&E2E::Traditional, &E2E::English1252, &E2E::Chinese,
                           &E2E::ChineseAnyCodePage, &E2E::English};
        });
        // No entry for 0x804 itself: the primary-language pass skips the one whose code page
        // does not fit and takes the one for any code page.
        Add("detect_primary.exe", [](TCase &C) {
            C.Header.LanguageDetectMode = DetectByUserLocale;
            C.Languages = {&E2E::English, &E2E::Traditional, &E2E::TraditionalAnyCodePage};
        });
        // The second language cannot be activated: a request for it fails after the child ran.
        Add("damaged_second_language.exe", [](TCase &C) { C.DamagedMessageBlock = 1; });

        // Damaged records, each one named change to an otherwise good package.
        constexpr size_t ChunkPayloadStart = BlockHeaderSize + 4;
        Add("records_bad_header_crc.exe",
            [](TCase &C) { C.EditRecordsBlock = [](std::string &B) { B[0] ^= 0x01; }; });
        Add("records_bad_chunk_crc.exe", [](TCase &C) {
            C.EditRecordsBlock = [](std::string &B) { B[ChunkPayloadStart + 20] ^= 0x40; };
        });
        Add("records_truncated_lzma.exe", [](TCase &C) {
            C.EditRecordsBlock = [](std::string &B) {
                // Keep the properties header and a few bytes of the stream only.
                std::string Stream = B.substr(ChunkPayloadStart, 24);
                B.clear();
                AppendCompressedBlock(B, Stream.data(), Stream.size(), true);
            };
        });
        Add("records_negative_string.exe",
            [](TCase &C) { C.EditRecords = [](std::string &R) { PutInt32(R, 0, -5); }; });
        Add("records_negative_count.exe", [](TCase &C) { C.Header.LanguageEntryCount = -1; });

        for (const auto &[Name, Case] : Cases)
            WriteFile(Out + Name, BuildPackage(Stub, Case));
        std::cout << "e2e_make_cases: " << Cases.size() << " packages in " << Out << "\n";
    } catch (const Exception &E) {
        std::cerr << "e2e_make_cases: " << E.Message() << "\n";
        return 1;
    } catch (const std::exception &E) {
        std::cerr << "e2e_make_cases: " << E.what() << "\n";
        return 1;
    }
    return 0;
}
