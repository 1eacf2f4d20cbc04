// Path scanning over ASCII paths with the system scanner, and over double-byte paths with a
// code-page-936 scanner (host and Windows alike).
#include "support/path.h"
#include "tests/support/cp936_scanner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

struct TSplitCase {
    std::string Path;
    int32_t Root, RootSep, Dir, DirSep;
    std::string FileName;
    int32_t ExtDot;
};

void CheckSplit(const TSplitCase &C, const TCharScanner &Scanner) {
    SCOPED_TRACE("path \"" + C.Path + "\"");
    EXPECT_EQ(RootPrefixLength(C.Path, false, Scanner), C.Root);
    EXPECT_EQ(RootPrefixLength(C.Path, true, Scanner), C.RootSep);
    EXPECT_EQ(DirPrefixLength(C.Path, false, Scanner), C.Dir);
    EXPECT_EQ(DirPrefixLength(C.Path, true, Scanner), C.DirSep);
    EXPECT_EQ(FileNamePart(C.Path, Scanner), C.FileName);
    EXPECT_EQ(ExtensionDotPos(C.Path, Scanner), C.ExtDot);
}

// Every backslash is one byte 0x5C.
const TSplitCase AsciiSplits[] = {
    {"", 0, 0, 0, 0, "", 0},
    {"C:", 2, 2, 2, 2, "", 0},
    {"C:\\", 2, 3, 3, 3, "", 0},
    {"C:\\dir\\\\", 2, 3, 6, 8, "", 0},
    {"C:dir\\x", 2, 2, 5, 6, "x", 0},
    {"\\", 0, 1, 1, 1, "", 0},
    {"/a/b", 0, 1, 2, 3, "b", 0},
    {"\\\\server\\share", 14, 14, 14, 14, "", 0},
    {"\\\\server\\share\\dir\\f.txt", 14, 14, 18, 19, "f.txt", 21},
    {"\\\\server\\\\share\\x", 15, 15, 15, 16, "x", 0},
    {"\\\\server", 8, 8, 8, 8, "", 0},
    {"\\\\", 2, 2, 2, 2, "", 0},
    {"file.txt", 0, 0, 0, 0, "file.txt", 5},
    {"dir\\archive.tar.gz", 0, 0, 3, 4, "archive.tar.gz", 16},
    {"a.b\\c", 0, 0, 3, 4, "c", 0},
    {".cfg", 0, 0, 0, 0, ".cfg", 1},
    {"dir\\.cfg", 0, 0, 3, 4, ".cfg", 5},
    {"C:\\a/b\\", 2, 3, 6, 7, "", 0},
};

TEST(Path, SplitsAsciiPaths) {
    for (const TSplitCase &C : AsciiSplits) {
        CheckSplit(C, SystemCharScanner);
        CheckSplit(C, Cp936Scanner); // no byte of these paths is a lead byte
    }
}

// "\x95\x5C" is a code page 936 character whose trail byte is a backslash; "\xB6\xAB" and
// "\xCE\xC4" are characters with ordinary trail bytes.
const TSplitCase Cp936Splits[] = {
    {"C:\\\x95\\", 2, 3, 3, 3, "\x95\\", 0},
    {"C:\\\x95\\\\", 2, 3, 5, 6, "", 0},
    {"\xB6\xAB:", 3, 3, 3, 3, "", 0},
    {"\xB6\xAB:\\x", 3, 4, 4, 4, "x", 0},
    {"\\\\\x95\\\\share\\f", 10, 10, 10, 11, "f", 0},
    {"dir\\a\x95.b", 0, 0, 3, 4, "a\x95.b", 0},
    {"dir\\a.\x95.", 0, 0, 3, 4, "a.\x95.", 6},
    {"d\x95\\.\\x.y", 0, 0, 4, 5, "x.y", 7},
    {"C:\\\xCE", 2, 3, 3, 3, "\xCE", 0},
};

TEST(Path, SplitsDoubleBytePaths) {
    for (const TSplitCase &C : Cp936Splits)
        CheckSplit(C, Cp936Scanner);
}

TEST(Path, FindsCharacterBoundaries) {
    const std::string S = "a\x95\\\xCE";
    EXPECT_EQ(CharSizeAt(S, 1, Cp936Scanner), 1);
    EXPECT_EQ(CharSizeAt(S, 2, Cp936Scanner), 2);
    EXPECT_EQ(CharSizeAt(S, 4, Cp936Scanner), 1) << "a lead byte as the last byte";
    struct {
        std::string S;
        int32_t Last;
    } const Cases[] = {{"", 0},        {"a", 1},           {"ab", 2},
                       {"a\x95\\", 2}, {"a\x95\\\xCE", 4}, {"\x95\\\x95\\", 3},
                       {"\x95", 1}};
    for (const auto &C : Cases) {
        SCOPED_TRACE("\"" + C.S + "\"");
        EXPECT_EQ(LastCharStart(C.S, Cp936Scanner), C.Last);
    }
}

struct TEditCase {
    std::string Path, WithTmp, Ensured, Stripped;
};

void CheckEdits(const TEditCase &C, const TCharScanner &Scanner) {
    SCOPED_TRACE("path \"" + C.Path + "\"");
    EXPECT_EQ(ReplaceExtension(C.Path, ".tmp", Scanner), C.WithTmp);
    EXPECT_EQ(EnsureTrailingSeparator(C.Path, Scanner), C.Ensured);
    EXPECT_EQ(StripTrailingSeparators(C.Path, Scanner), C.Stripped);
}

TEST(Path, EditsAsciiPaths) {
    const TEditCase Cases[] = {
        {"", ".tmp", "", ""},
        {"C:\\", "C:\\.tmp", "C:\\", "C:\\"},
        {"C:", "C:.tmp", "C:\\", "C:"},
        {"C:\\dir\\\\", "C:\\dir\\\\.tmp", "C:\\dir\\\\", "C:\\dir"},
        {"\\", "\\.tmp", "\\", "\\"},
        {"/a/b", "/a/b.tmp", "/a/b\\", "/a/b"},
        {"/a/b/", "/a/b/.tmp", "/a/b/", "/a/b"},
        {"\\\\server\\share\\", "\\\\server\\share\\.tmp", "\\\\server\\share\\",
         "\\\\server\\share"},
        {"dir\\archive.tar.gz", "dir\\archive.tar.tmp", "dir\\archive.tar.gz\\",
         "dir\\archive.tar.gz"},
        {"a.b\\c", "a.b\\c.tmp", "a.b\\c\\", "a.b\\c"},
        {".cfg", ".tmp", ".cfg\\", ".cfg"},
        {"setup.exe", "setup.tmp", "setup.exe\\", "setup.exe"},
    };
    for (const TEditCase &C : Cases) {
        CheckEdits(C, SystemCharScanner);
        CheckEdits(C, Cp936Scanner);
    }
}

TEST(Path, EditsDoubleBytePaths) {
    const TEditCase Cases[] = {
        // The trail byte 0x5C is no separator: nothing to strip, a backslash to add.
        {"C:\\\x95\\", "C:\\\x95\\.tmp", "C:\\\x95\\\\", "C:\\\x95\\"},
        // Only the one real backslash goes.
        {"C:\\\x95\\\\", "C:\\\x95\\\\.tmp", "C:\\\x95\\\\", "C:\\\x95\\"},
        {"C:\\\x95\\\\\\/", "C:\\\x95\\\\\\/.tmp", "C:\\\x95\\\\\\/", "C:\\\x95\\"},
        {"d\\\xCE\xC4.\x95\\", "d\\\xCE\xC4.tmp", "d\\\xCE\xC4.\x95\\\\", "d\\\xCE\xC4.\x95\\"},
        {"x\\\xCE", "x\\\xCE.tmp", "x\\\xCE\\", "x\\\xCE"},
    };
    for (const TEditCase &C : Cases)
        CheckEdits(C, Cp936Scanner);
}

TEST(Path, QueriesAttributes) {
    std::string Dir = ::testing::TempDir();
    Dir = StripTrailingSeparators(Dir);
    std::string File = EnsureTrailingSeparator(Dir) + "quov_path_test_file.txt";
    std::FILE *F = std::fopen(File.c_str(), "wb");
    ASSERT_NE(F, nullptr);
    std::fclose(F);

    EXPECT_TRUE(IsExistingDirectory(Dir));
    EXPECT_TRUE(IsExistingDirectory(Dir + "/"));
    EXPECT_TRUE(IsExistingDirectory(Dir + "\\\\"));
    EXPECT_TRUE(IsExistingPath(Dir));
    EXPECT_TRUE(IsExistingPath(File));
    EXPECT_FALSE(IsExistingDirectory(File));
    EXPECT_NE(QueryPathAttributes(File), PathAttributesInvalid);
    EXPECT_EQ(QueryPathAttributes(File) & PathAttributeDirectory, 0u);
    EXPECT_EQ(QueryPathAttributes(File + ".missing"), PathAttributesInvalid);
    EXPECT_FALSE(IsExistingPath(File + ".missing"));
    EXPECT_FALSE(IsExistingPath(""));
    EXPECT_FALSE(IsExistingDirectory(File + "/below"));
    std::remove(File.c_str());
}

TEST(Path, MakesFullPaths) {
    EXPECT_EQ(MakeFullPath(""), "");
    std::string Here = MakeFullPath(".");
    ASSERT_FALSE(Here.empty());
    EXPECT_GT(RootPrefixLength(Here, true), 0) << Here;
    EXPECT_TRUE(IsExistingDirectory(Here));
    std::string Sub = MakeFullPath("sub");
    ASSERT_EQ(Sub.size(), Here.size() + 4) << Sub;
    EXPECT_EQ(Sub.substr(0, Here.size()), Here);
    EXPECT_TRUE(IsPathSeparator(Sub[Here.size()]));
    EXPECT_EQ(FileNamePart(Sub), "sub");
    EXPECT_EQ(MakeFullPath("a/../b"), MakeFullPath("b"));
    // A full path of 4096 bytes or more is not accepted.
    std::string Long = "x/" + std::string(5000, 'y');
    EXPECT_EQ(MakeFullPath(Long), Long);
}

} // namespace
