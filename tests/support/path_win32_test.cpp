// The path functions through the system's IsDBCSLeadByte and CharPrevA: under code page 936 the
// bytes 0x95 0x5C are one character, under 1252 they are two and the 0x5C is a separator.
#include "support/path.h"
#include "support/win.h"
#include "tests/support/cp936_scanner.h"

#include <gtest/gtest.h>

namespace {

bool IsCp936() {
    return ::GetACP() == 936;
}

TEST(PathWin32, SystemScannerFollowsTheCodePage) {
    const std::string Path = "C:\\\x95\\";
    SCOPED_TRACE("code page " + std::to_string(::GetACP()));
    if (IsCp936()) {
        EXPECT_EQ(CharSizeAt(Path, 4), 2);
        EXPECT_EQ(LastCharStart(Path), 4);
        EXPECT_EQ(DirPrefixLength(Path, true), 3);
        EXPECT_EQ(FileNamePart(Path), "\x95\\");
        EXPECT_EQ(StripTrailingSeparators(Path), Path);
        EXPECT_EQ(EnsureTrailingSeparator(Path), Path + "\\");
        EXPECT_EQ(StripTrailingSeparators(Path + "\\"), Path);
        EXPECT_EQ(DirPrefixLength(Path + "\\", false), 5);
    } else {
        EXPECT_EQ(CharSizeAt(Path, 4), 1);
        EXPECT_EQ(LastCharStart(Path), 5);
        EXPECT_EQ(DirPrefixLength(Path, true), 5);
        EXPECT_EQ(FileNamePart(Path), "");
        EXPECT_EQ(StripTrailingSeparators(Path), "C:\\\x95");
        EXPECT_EQ(EnsureTrailingSeparator(Path), Path);
        EXPECT_EQ(StripTrailingSeparators(Path + "\\"), "C:\\\x95");
        EXPECT_EQ(DirPrefixLength(Path + "\\", false), 4);
    }
    // A lead byte as the last byte is a character of its own under either code page.
    EXPECT_EQ(LastCharStart("ab\x95"), 3);
    EXPECT_EQ(CharSizeAt("ab\x95", 3), 1);
    EXPECT_EQ(EnsureTrailingSeparator("ab\x95"), "ab\x95\\");
}

TEST(PathWin32, CharPrevAgreesWithTheWalk) {
    if (!IsCp936())
        GTEST_SKIP() << "needs code page 936";
    const std::string Paths[] = {
        "", "a", "\x95\\", "a\x95\\\xCE", "\x95\\\x95\\", "\xCE\xC4\xBC", "C:\\\xB6\xAB\\x"};
    for (const std::string &P : Paths) {
        SCOPED_TRACE("[" + P + "]");
        EXPECT_EQ(LastCharStart(P), LastCharStart(P, Cp936Scanner));
        EXPECT_EQ(StripTrailingSeparators(P), StripTrailingSeparators(P, Cp936Scanner));
        EXPECT_EQ(DirPrefixLength(P, true), DirPrefixLength(P, true, Cp936Scanner));
    }
}

TEST(PathWin32, MakesFullPathsWithTheSystem) {
    char Cwd[MAX_PATH];
    DWORD Length = ::GetCurrentDirectoryA(MAX_PATH, Cwd);
    ASSERT_GT(Length, 0u);
    std::string Here(Cwd, Length);
    EXPECT_EQ(MakeFullPath("."), Here);
    EXPECT_EQ(MakeFullPath("x\\..\\y\\"), EnsureTrailingSeparator(Here) + "y\\");
    EXPECT_EQ(MakeFullPath("C:\\a\\.\\b"), "C:\\a\\b");
    EXPECT_EQ(MakeFullPath(""), "");
    std::string Long = "C:\\" + std::string(5000, 'y');
    EXPECT_EQ(MakeFullPath(Long), Long);
    EXPECT_TRUE(IsExistingDirectory("C:\\"));
    EXPECT_TRUE(IsExistingDirectory("C:\\windows\\\\"));
}

} // namespace
