// Makes the packages of the end-to-end tests from the loader stub and the test setup program
// with the packing library (BuildPackage), each damaged variant as one named change to the
// parts or to the stored bytes. Usage: e2e_make_cases STUB SETUP_PROGRAM OUTPUT_DIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <vector>

#include "records/messages.h"
#include "records/setup_records.h"
#include "setupdata/block_format.h"
#include "support/byte_order.h"
#include "tests/e2e/case_texts.h"
#include "tools/package_builder.h"
#include "tools/packlib/block_writer.h"
#include "tools/packlib/message_block_writer.h"

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

TSetupLanguageFields LanguageFields(const TCaseLanguage &Language) {
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
    TSetupLanguageFields Fields;
    Fields.Name = Language.Name;
    Fields.MessageBlock = BuildMessageBlock(Messages);
    Fields.LanguageID = Language.LanguageID;
    Fields.CodePage = Language.CodePage;
    return Fields;
}

// One package: its parts and the named change that makes it a case.
struct TCase {
    TPackageParts Parts;
    TPackageEdits Edits;
};

// The good package: English and Chinese, the UI language decides, the startup prompt is asked.
TPackageParts GoodParts(const std::string &Stub, const std::string &Program,
                        const std::vector<const TCaseLanguage *> &Languages = {&E2E::English,
                                                                               &E2E::Chinese}) {
    TPackageParts Parts;
    Parts.Stub = Stub;
    Parts.SecondData = E2E::SecondDataArea;
    Parts.Header.ApplicationName = E2E::ApplicationName;
    Parts.Header.LanguageDetectMode = DetectByUILanguage;
    for (const TCaseLanguage *Language : Languages)
        Parts.Languages.push_back(LanguageFields(*Language));
    Parts.Header.LanguageEntryCount = static_cast<int32_t>(Parts.Languages.size());
    Parts.SetupData = E2E::TrailingSetupData;
    Parts.Program = Program;
    return Parts;
}

// Where the first chunk's payload starts in a block.
constexpr size_t FirstChunkPayload = BlockHeaderSize + BlockChunkCrcSize;

} // namespace

int main(int Argc, char **Argv) {
    if (Argc != 4) {
        std::cerr << "usage: e2e_make_cases STUB SETUP_PROGRAM OUTPUT_DIR\n";
        return 2;
    }
    try {
        const std::string Stub = ReadFile(Argv[1]);
        const std::string Program = ReadFile(Argv[2]);
        const std::string Out = std::string(Argv[3]) + "/";
        std::filesystem::create_directories(Argv[3]);
        size_t Count = 0;
        auto Add = [&](const char *Name, const std::function<void(TCase &)> &Change,
                       const std::vector<const TCaseLanguage *> &Languages = {&E2E::English,
                                                                              &E2E::Chinese}) {
            TCase Case{GoodParts(Stub, Program, Languages), {}};
            if (Change)
                Change(Case);
            WriteFile(Out + Name, BuildPackage(Case.Parts, Case.Edits));
            ++Count;
        };

        Add("good.exe", nullptr);
        Add("no_prompt_bit.exe", [](TCase &C) { C.Parts.Header.NoStartupPrompt = true; });
        Add("not_a_program.exe",
            [](TCase &C) { C.Parts.Program = "this is plain text, no program"; });
        Add("detect_locale.exe",
            [](TCase &C) { C.Parts.Header.LanguageDetectMode = DetectByUserLocale; });
        Add("detect_none.exe", [](TCase &C) { C.Parts.Header.LanguageDetectMode = 2; },
            {&E2E::Chinese, &E2E::English});
        // 0x409 only with code page 1252 first, then the primary-language and code-page passes.
        Add("detect_mixed.exe", nullptr,
            {&E2E::Traditional, &E2E::English1252, &E2E::Chinese, &E2E::ChineseAnyCodePage,
             &E2E::English});
        // No entry for 0x804 itself: the primary-language pass skips the one whose code page
        // does not fit and takes the one for any code page.
        Add("detect_primary.exe",
            [](TCase &C) { C.Parts.Header.LanguageDetectMode = DetectByUserLocale; },
            {&E2E::English, &E2E::Traditional, &E2E::TraditionalAnyCodePage});
        // The second language cannot be activated: a request for it fails after the child ran.
        Add("damaged_second_language.exe", [](TCase &C) {
            // Inside the messages, covered by the block's CRC.
            C.Parts.Languages[1].MessageBlock[MessageBlockHeaderSize + 20] ^= 0x01;
        });

        // Damaged records, each one named change to an otherwise good package.
        Add("records_bad_header_crc.exe", [](TCase &C) {
            C.Edits.RecordsBlock = [](std::string &B) { B[BlockHeaderCrcOffset] ^= 0x01; };
        });
        Add("records_bad_chunk_crc.exe", [](TCase &C) {
            C.Edits.RecordsBlock = [](std::string &B) { B[FirstChunkPayload + 20] ^= 0x40; };
        });
        Add("records_truncated_lzma.exe", [](TCase &C) {
            C.Edits.RecordsBlock = [](std::string &B) {
                // Keep the properties header and a few bytes of the stream only.
                const std::string Stream = B.substr(FirstChunkPayload, 24);
                B.clear();
                AppendCompressedBlock(B, Stream.data(), Stream.size(), true);
            };
        });
        Add("records_negative_string.exe", [](TCase &C) {
            // The header record's first string length.
            C.Edits.Records = [](std::string &R) { StoreLe32(&R[0], uint32_t(-5)); };
        });
        Add("records_negative_count.exe",
            [](TCase &C) { C.Parts.Header.LanguageEntryCount = -1; });

        // A program that quovpack packs with the largest dictionary (a fixture of the Windows
        // tree): long enough (over 48 MiB) that the encoder keeps 64 MiB, and with a block that
        // recurs 50 MB later, a match only that dictionary reaches.
        std::string Recurring(1 << 20, '\0');
        uint32_t X = 1;
        for (char &C : Recurring)
            C = static_cast<char>((X = X * 1103515245u + 12345u) >> 24);
        std::string Large = Program + Recurring;
        Large.resize(51u << 20, '\x90'); // one long run: quick to compress
        WriteFile(Out + "dictionary_program.exe", Large + Recurring);
        std::cout << "e2e_make_cases: " << Count << " packages in " << Out << "\n";
    } catch (const Exception &E) {
        std::cerr << "e2e_make_cases: " << E.Message() << "\n";
        return 1;
    } catch (const std::exception &E) {
        std::cerr << "e2e_make_cases: " << E.what() << "\n";
        return 1;
    }
    return 0;
}
