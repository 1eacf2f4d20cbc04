#include "tools/package_builder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "tests/tools/test_stub.h"

namespace {

// A program of 2 GiB or more cannot be read back by the loader (its counts are signed 32-bit):
// quovpack must refuse it before it writes anything. Sparse files make the sizes cheap.
TEST(LargeProgram, TwoGiBAndMoreAreRefusedBeforeAnyOutput) {
    TScratchDir Dir;
    ASSERT_TRUE(WriteFileBytes(Dir / "stub.exe", BuildTestStub()));
    ASSERT_TRUE(WriteFileBytes(Dir / "en.txt", std::string("name = English\nlangid = 0x0409\n")));
    for (uint64_t Size : {uint64_t(1) << 31, (uint64_t(1) << 32) + 5}) {
        SCOPED_TRACE(Size);
        const std::string Program = Dir / "big.bin";
        int Fd = ::open(Program.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        ASSERT_GE(Fd, 0);
        ASSERT_EQ(::ftruncate(Fd, static_cast<off_t>(Size)), 0);
        ::close(Fd);

        TPackOptions Options;
        Options.StubPath = Dir / "stub.exe";
        Options.ProgramPath = Program;
        Options.ApplicationName = "Big";
        Options.LanguagePaths = {Dir / "en.txt"};
        Options.OutputPath = Dir / "out.exe";
        EXPECT_THROW(PackInstaller(Options), EPackInputError);
        // Nothing was written: no output, no temporary file beside it.
        std::vector<std::string> Names = Dir.List();
        std::sort(Names.begin(), Names.end());
        EXPECT_EQ(Names, (std::vector<std::string>{"big.bin", "en.txt", "stub.exe"}));
    }
}

} // namespace
