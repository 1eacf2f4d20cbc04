// The host's stand-in for the process command line.
#include "support/command_line.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, HostCommandLineFeedsTheProcessForms) {
    SetHostCommandLine("\"my prog\" one \"two 2\"", "/opt/quov/setup.exe");
    EXPECT_EQ(CountParameters(), 2);
    EXPECT_EQ(ParameterAt(0), "/opt/quov/setup.exe");
    EXPECT_EQ(ParameterAt(1), "one");
    EXPECT_EQ(ParameterAt(2), "two 2");
    EXPECT_EQ(ParameterAt(3), "");
    EXPECT_EQ(CommandTail(), "one \"two 2\"");
    SetHostCommandLine("prog");
    EXPECT_FALSE(ParameterAt(0).empty()) << "the running program's own file";
    EXPECT_EQ(CountParameters(), 0);
}

} // namespace
