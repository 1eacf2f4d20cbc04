#include "support/command_line.h"
#include "tests/support/command_line_cases.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, ScansTheCaseTable) {
    for (const TCommandLineCase &C : CommandLineCases()) {
        SCOPED_TRACE("command line [" + C.CommandLine + "]");
        const char *Line = C.CommandLine.c_str();
        EXPECT_EQ(CountParametersOf(Line), static_cast<int32_t>(C.Params.size()));
        EXPECT_EQ(CommandTailOf(Line), C.Tail);
        for (size_t K = 0; K < C.Params.size(); ++K)
            EXPECT_EQ(ParameterAtOf(Line, static_cast<int32_t>(K + 1)), C.Params[K]) << K + 1;
        EXPECT_EQ(ParameterAtOf(Line, static_cast<int32_t>(C.Params.size() + 1)), "");
        EXPECT_EQ(ParameterAtOf(Line, 1000), "");
        EXPECT_EQ(ParameterAtOf(Line, -1), "");
    }
}

TEST(CommandLine, WideTailBehindTheSameProgramName) {
    // Units whose low byte is a blank, a quote or zero are ordinary characters.
    const std::wstring Cases[][2] = {
        {L"\"C:\\\u0418 \u0432\\s.exe\" /DIR=\u5b89\u88c5", L"/DIR=\u5b89\u88c5"},
        {L"s\u0120x\u0122.exe\u3000/a \"\u0416 \u0416\"  ", L"\"\u0416 \u0416\"  "},
        {L"s\u0100.exe a", L"a"},
    };
    for (const auto &C : Cases)
        EXPECT_EQ(CommandTailOf(C[0].c_str()), C[1]);
}

TEST(CommandLine, ScanParameterStopsAtWhitespaceOutsideQuotes) {
    const char *Line = "a\"b c\"d\te";
    int32_t Count = -1;
    const char *End = ScanParameter(Line, nullptr, Count);
    EXPECT_EQ(End, Line + 7);
    EXPECT_EQ(Count, 5);
    char Dest[8] = "#######";
    ScanParameter(Line, Dest, Count);
    EXPECT_EQ(std::string(Dest, 7), "ab cd##") << "writes exactly the parameter bytes";

    std::string Param = "old";
    const char *Next = TakeParameter(Line, Param);
    EXPECT_EQ(Param, "ab cd");
    EXPECT_EQ(Next, Line + 8);
    Next = TakeParameter(Next, Param);
    EXPECT_EQ(Param, "e");
    EXPECT_EQ(*Next, '\0');
    EXPECT_EQ(TakeParameter(Next, Param), Next) << "never passes the terminating zero";
    EXPECT_EQ(Param, "");
}

} // namespace
