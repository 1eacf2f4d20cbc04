// The loader's acceptance of its own file and its reading of the setup records, seen from
// outside. Each damaged package starts from the good one with one named change. A rejection
// ends in one error box with the built-in corrupt text (no language is active yet, so the
// caption is the system's default) and exit code 1, and leaves nothing in TMP.
#include <gtest/gtest.h>

#include "support/builtin_texts.h"
#include "support/error_text.h"
#include "support/exceptions.h"
#include "tests/e2e/case_texts.h"
#include "tests/e2e/harness.h"

namespace {

struct TFileChange {
    const char *Name;
    void (*Apply)(TPackageBytes &Package);
};

std::string WritePackageCopy(const std::string &CaseName, const TPackageBytes &Package) {
    std::string Path = PrepareWorkDirectory(CaseName + "-file") + "setup.exe";
    WriteWholeFile(Path, Package.Bytes);
    return Path;
}

TLoaderResult RunChanged(const TFileChange &Change, const std::string &Parameters = "/SP-") {
    TPackageBytes Package = LoadPackage(CasesDirectory() + "good.exe");
    EXPECT_NE(Package.TableOffset, std::string::npos) << "good.exe has no offset table";
    Change.Apply(Package);
    TLoaderRun Run;
    Run.LoaderPath = WritePackageCopy(Change.Name, Package);
    Run.Parameters = Parameters;
    Run.Answers = {IDOK};
    return RunLoader(Change.Name, Run);
}

void ExpectOneErrorBox(const TLoaderResult &Result, const std::string &Caption,
                       const std::string &Text) {
    ASSERT_TRUE(Result.Finished);
    EXPECT_EQ(Result.ExitCode, 1u);
    ASSERT_EQ(Result.Boxes.size(), 1u);
    EXPECT_EQ(Result.Boxes[0].Caption, Caption);
    EXPECT_EQ(Result.Boxes[0].Text, Text);
    EXPECT_TRUE(Result.ChildReport.empty()) << "the setup program ran";
    EXPECT_TRUE(Result.TempLeftovers.empty());
}

} // namespace

TEST(Table, RejectionsShowBuiltInCorruptText) {
    const TFileChange Changes[] = {
        {"version2_resealed",
         [](TPackageBytes &P) {
             TLoaderOffsetTable Table = P.Table();
             Table.FormatVersion = 2;
             P.SetTable(Table, /*Reseal=*/true);
         }},
        {"signature_byte_not_resealed",
         [](TPackageBytes &P) {
             TLoaderOffsetTable Table = P.Table();
             Table.Signature[0] ^= 0x20;
             P.SetTable(Table, /*Reseal=*/false);
         }},
        {"program_offset_not_resealed",
         [](TPackageBytes &P) {
             TLoaderOffsetTable Table = P.Table();
             Table.SetupProgramOffset += 1;
             P.SetTable(Table, /*Reseal=*/false);
         }},
        // One byte short of the length the table records (the zeros the packer adds behind it,
        // up to a multiple of 8, are not part of it).
        {"one_byte_short", [](TPackageBytes &P) { P.Bytes.resize(P.Table().MinFileSize - 1); }},
        {"setup_data_signature_byte",
         [](TPackageBytes &P) { P.Bytes[P.Table().SetupDataOffset + 63] = 1; }},
    };
    for (const TFileChange &Change : Changes) {
        SCOPED_TRACE(Change.Name);
        ExpectOneErrorBox(RunChanged(Change), DefaultBoxCaption(), ShownCorruptText());
    }
}

TEST(Table, FileEndingInsideSignatureIsAFileError) {
    TFileChange Change = {"ends_inside_signature", [](TPackageBytes &P) {
                              TLoaderOffsetTable Table = P.Table();
                              P.Bytes.resize(Table.SetupDataOffset + 10);
                              Table.MinFileSize = static_cast<uint32_t>(P.Bytes.size());
                              P.SetTable(Table, /*Reseal=*/true);
                          }};
    std::string Expected = SystemErrorText(38);
    if (Expected.empty())
        Expected = FormatWithNumber(FileIoErrorPattern, 38);
    ExpectOneErrorBox(RunChanged(Change), DefaultBoxCaption(), TerminateSentence(Expected));
}

TEST(Table, ExactAndLongerFilesPass) {
    const TFileChange Changes[] = {
        {"exact_length", [](TPackageBytes &) {}},
        {"longer", [](TPackageBytes &P) { P.Bytes += "appended by a download tool"; }},
    };
    for (const TFileChange &Change : Changes) {
        SCOPED_TRACE(Change.Name);
        TLoaderResult Result = RunChanged(Change);
        ASSERT_TRUE(Result.Finished);
        EXPECT_EQ(Result.ExitCode, 0u);
        EXPECT_TRUE(Result.Boxes.empty());
        EXPECT_EQ(ReportValue(Result.ChildReport, "window"), "QuovSetupLdrWindow");
        EXPECT_TRUE(Result.TempLeftovers.empty());
    }
}

TEST(Records, DamagedRecordsShowBuiltInCorruptText) {
    for (const char *Name : {"records_bad_header_crc", "records_bad_chunk_crc",
                             "records_truncated_lzma", "records_negative_string",
                             "records_negative_count"}) {
        SCOPED_TRACE(Name);
        TLoaderRun Run;
        Run.LoaderPath = CasesDirectory() + Name + ".exe";
        Run.Parameters = "/SP-";
        Run.Answers = {IDOK};
        ExpectOneErrorBox(RunLoader(Name, Run), DefaultBoxCaption(), ShownCorruptText());
    }
}
