#include "support/error_text.h"
#include "support/win.h"

#include <gtest/gtest.h>

namespace {

TEST(ErrorTextWin32, SystemTextsComeWithoutTrailingPeriodOrLineBreak) {
    std::string Text = SystemErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(Text.empty());
    unsigned char Last = static_cast<unsigned char>(Text.back());
    EXPECT_GT(Last, 0x20) << Text;
    EXPECT_NE(Last, '.') << Text;

    // The trimmed text is a prefix of what the system gives.
    char Raw[1024];
    DWORD Count = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, ERROR_FILE_NOT_FOUND, 0, Raw, sizeof(Raw), nullptr);
    ASSERT_GE(Count, Text.size());
    EXPECT_EQ(std::string(Raw, Text.size()), Text);

    EXPECT_EQ(SystemErrorText(0x2000FFFEu), "") << "a code without a system message";
}

TEST(ErrorTextWin32, TerminatesSentencesInTheSystemCodePage) {
    // An ideographic full stop is one character under 936 and two under 1252; either way its
    // first (or last) byte lies above the period, so a period follows.
    EXPECT_EQ(TerminateSentence("\xCE\xC4\xA1\xA3"), "\xCE\xC4\xA1\xA3.");
    // 0x95 0x2E: one double-byte character under 936, a period at the end under 1252.
    if (::GetACP() == 936)
        EXPECT_EQ(TerminateSentence("x\x95."), "x\x95..");
    else
        EXPECT_EQ(TerminateSentence("x\x95."), "x\x95.");
}

} // namespace
