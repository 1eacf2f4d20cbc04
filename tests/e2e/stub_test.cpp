// The loader's acceptance of its own file, seen from outside: every rejection ends in one error
// box with the built-in corrupt text (no language is active yet, so the caption is the system's
// default) and exit code 1, and leaves nothing in TMP.
#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

namespace {

std::string CopyToWork(const std::string &CaseName, const std::string &Source,
                       const std::string &Name = "setup.exe") {
    std::string Target = PrepareWorkDirectory(CaseName + "-file") + Name;
    EXPECT_TRUE(::CopyFileA(Source.c_str(), Target.c_str(), FALSE)) << Source;
    return Target;
}

} // namespace

TEST(Stub, UnpackedStubShowsBuiltInCorruptText) {
    TLoaderRun Run;
    Run.LoaderPath = CopyToWork("unpacked", StubPath());
    Run.Answers = {IDOK};
    TLoaderResult Result = RunLoader("unpacked", Run);
    ASSERT_TRUE(Result.Finished);
    EXPECT_EQ(Result.ExitCode, 1u);
    ASSERT_EQ(Result.Boxes.size(), 1u);
    EXPECT_EQ(Result.Boxes[0].Caption, DefaultBoxCaption());
    EXPECT_EQ(Result.Boxes[0].Text, ShownCorruptText());
    EXPECT_TRUE(Result.TempLeftovers.empty());
}
