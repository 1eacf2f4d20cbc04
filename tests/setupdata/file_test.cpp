// One test source for both file backends: built natively and for Windows (run under Wine).
#include "setupdata/file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "support/builtin_texts.h"
#include "support/error_text.h"

namespace {

namespace fs = std::filesystem;

class FileTest : public testing::Test {
protected:
    void SetUp() override {
        std::random_device Random;
        Dir = fs::temp_directory_path() / ("quov-file-test-" + std::to_string(Random()));
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }
    std::string PathOf(const std::string &Name) const { return (Dir / Name).string(); }
    void WriteBytes(const std::string &Name, const std::string &Bytes) const {
        std::ofstream(PathOf(Name), std::ios::binary) << Bytes;
    }
    fs::path Dir;
};

uint32_t ErrorCodeOf(const std::function<void()> &Action) {
    try {
        Action();
    } catch (const EFileError &E) {
        return E.SystemErrorCode;
    }
    ADD_FAILURE() << "no EFileError";
    return 0;
}

TEST_F(FileTest, OpeningMissingFileReportsSystemCodeAndText) {
    try {
        TFile File(PathOf("missing.bin"), fcOpenExisting, amRead, smRead);
        FAIL() << "opened a missing file";
    } catch (const EFileError &E) {
        EXPECT_EQ(E.SystemErrorCode, 2u); // ERROR_FILE_NOT_FOUND
        EXPECT_FALSE(E.Message().empty());
        EXPECT_EQ(E.Message(), SystemErrorText(2));
    }
    // A path below a missing directory, and a directory opened as a file, fail too.
    EXPECT_NE(ErrorCodeOf([&] { TFile(PathOf("no/such/dir/f"), fcCreateAlways, amWrite, smNone); }), 0u);
    EXPECT_NE(ErrorCodeOf([&] { TFile(Dir.string(), fcCreateAlways, amWrite, smNone); }), 0u);
}

TEST_F(FileTest, CreateNewRefusesExistingFile) {
    WriteBytes("there.bin", "x");
    EXPECT_NE(ErrorCodeOf([&] { TFile(PathOf("there.bin"), fcCreateNew, amWrite, smNone); }), 0u);
}

TEST_F(FileTest, ShortReadsAndEndOfFile) {
    WriteBytes("ten.bin", "0123456789");
    TFile File(PathOf("ten.bin"), fcOpenExisting, amRead, smRead);
    EXPECT_EQ(File.GetSize(), 10u);
    char Buffer[64] = {};
    EXPECT_EQ(File.Read(Buffer, 4), 4u);
    EXPECT_EQ(std::string(Buffer, 4), "0123");
    EXPECT_EQ(File.GetPosition(), 4u);
    // ReadExact of more than is left consumes what is there and reports code 38.
    EXPECT_EQ(ErrorCodeOf([&] { File.ReadExact(Buffer, 64); }), ErrorHandleEof);
    EXPECT_EQ(std::string(Buffer, 6), "456789");
    EXPECT_EQ(File.GetPosition(), 10u);
    EXPECT_EQ(File.Read(Buffer, 8), 0u);
    EXPECT_EQ(ErrorCodeOf([&] { File.ReadExact(Buffer, 1); }), ErrorHandleEof);
    // Seeking beyond the end is allowed; reading there gives nothing.
    File.Seek(1000);
    EXPECT_EQ(File.GetPosition(), 1000u);
    EXPECT_EQ(File.Read(Buffer, 8), 0u);
    File.SeekTo64(2);
    File.ReadExact(Buffer, 3);
    EXPECT_EQ(std::string(Buffer, 3), "234");
}

TEST_F(FileTest, TruncateGivesFinalLengthBeforeTheSingleWrite) {
    const std::string Payload(5000, 'q');
    {
        TFile File(PathOf("out.bin"), fcCreateAlways, amWrite, smNone);
        File.Seek(static_cast<uint32_t>(Payload.size()));
        File.Truncate();
        EXPECT_EQ(File.GetSize(), Payload.size());
        File.Seek(0);
        File.Write(Payload.data(), static_cast<uint32_t>(Payload.size()));
        EXPECT_EQ(File.GetPosition(), Payload.size());
    }
    EXPECT_EQ(fs::file_size(PathOf("out.bin")), Payload.size());
    // Create-always empties an existing file; truncating at 0 leaves it empty.
    {
        TFile File(PathOf("out.bin"), fcCreateAlways, amReadWrite, smNone);
        EXPECT_EQ(File.GetSize(), 0u);
        File.Write("abc", 3);
        File.Seek(1);
        File.Truncate();
        EXPECT_EQ(File.GetSize(), 1u);
    }
}

TEST(FileErrors, FallbackTextWhenSystemHasNone) {
    // 0x2000FFFF has no system text on either side.
    try {
        TCustomFile::RaiseFileError(0x2000FFFFu);
    } catch (const EFileError &E) {
        EXPECT_EQ(E.SystemErrorCode, 0x2000FFFFu);
        EXPECT_EQ(E.Message(), FormatWithNumber(FileIoErrorPattern, 0x2000FFFF));
        EXPECT_EQ(E.Message(), "\xce\xc4\xbc\xfe I/O \xb4\xed\xce\xf3 536936447");
    }
    EXPECT_EQ(FormatWithNumber("%d", -2147483647 - 1), "-2147483648");
    EXPECT_EQ(FormatWithNumber("a%db%%d", 0), "a0b%0");
}

} // namespace
