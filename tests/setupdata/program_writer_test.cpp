#include "setupdata/program_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"
#include "tests/setupdata/test_data.h"

namespace {

namespace fs = std::filesystem;

class ProgramWriterTest : public testing::Test {
protected:
    void SetUp() override {
        std::random_device Random;
        Path = fs::temp_directory_path() / ("quov-writer-test-" + std::to_string(Random()));
    }
    void TearDown() override { fs::remove(Path); }

    std::string Written() {
        std::ifstream In(Path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
    }

    fs::path Path;
};

// Stretches of every size, reported in steps of every size, on a second thread or not, give
// the bytes and the CRC of one pass over the whole buffer, straddling operands included.
TEST_F(ProgramWriterTest, WritesWhatOneWholeBufferPassGives) {
    const std::string Program = SamplePayload(20001, 41);
    std::string Stored = Program;
    ConvertCallOperands(&Stored[0], uint32_t(Stored.size()), true, 0);
    const auto *Bytes = reinterpret_cast<const uint8_t *>(Stored.data());
    for (bool Thread : {false, true})
        for (uint32_t Stretch : {5u, 7u, 4096u, TProgramWriter::DefaultStretch})
            for (uint32_t Step : {7u, 999u, uint32_t(Stored.size())}) {
                SCOPED_TRACE(testing::Message() << (Thread ? "thread" : "inline") << ", stretch "
                                                << Stretch << ", step " << Step);
                {
                    TFile Target(Path.string(), fcCreateAlways, amWrite, smNone);
                    TProgramWriter Writer(Bytes, uint32_t(Stored.size()), Target, Thread ? 0 : ~0u,
                                          Stretch);
                    for (uint32_t Done = 0; Done < Stored.size();) {
                        Done = std::min<uint32_t>(Done + Step, uint32_t(Stored.size()));
                        Writer.Advance(Done);
                    }
                    const TProgramWriter::TOutcome Outcome = Writer.Finish();
                    EXPECT_EQ(Outcome.Crc, ComputeCrc32(Program.data(), Program.size()));
                    EXPECT_EQ(Outcome.WriteError, 0u);
                    Writer.Keep();
                }
                EXPECT_TRUE(Written() == Program);
            }
}

// As the decoder does: the buffer fills while the writer follows, and the writer's thread takes
// the page faults of the rest of the buffer ahead of it.
TEST_F(ProgramWriterTest, FollowsABufferThatFillsAsItGoes) {
    const std::string Program = SamplePayload(9 << 20, 47);
    std::string Stored = Program;
    ConvertCallOperands(&Stored[0], uint32_t(Stored.size()), true, 0);
    std::vector<uint8_t> Buffer(Stored.size());
    {
        TFile Target(Path.string(), fcCreateAlways, amWrite, smNone);
        TProgramWriter Writer(Buffer.data(), uint32_t(Buffer.size()), Target);
        for (size_t Done = 0; Done < Buffer.size();) {
            const size_t Step = std::min<size_t>(100000, Buffer.size() - Done);
            std::memcpy(&Buffer[Done], &Stored[Done], Step);
            Done += Step;
            Writer.Advance(uint32_t(Done));
        }
        EXPECT_EQ(Writer.Finish().Crc, ComputeCrc32(Program.data(), Program.size()));
        Writer.Keep();
    }
    EXPECT_TRUE(std::memcmp(Buffer.data(), Stored.data(), Stored.size()) == 0);
    EXPECT_TRUE(Written() == Program);
}

// A decoder that reports past the prefault's first page before the prefault is done: the prefault
// stops (StopPrefault waits for its last touch) and the program is still written whole.
TEST_F(ProgramWriterTest, HandsThePrefaultsPagesToADecoderThatComesNear) {
    const std::string Program = SamplePayload(9 << 20, 53);
    std::string Stored = Program;
    ConvertCallOperands(&Stored[0], uint32_t(Stored.size()), true, 0);
    const std::vector<uint8_t> Buffer(Stored.begin(), Stored.end());
    {
        TFile Target(Path.string(), fcCreateAlways, amWrite, smNone);
        TProgramWriter Writer(Buffer.data(), uint32_t(Buffer.size()), Target);
        Writer.Advance(4 * MaxOutputAhead);
        Writer.Advance(uint32_t(Buffer.size()));
        EXPECT_EQ(Writer.Finish().Crc, ComputeCrc32(Program.data(), Program.size()));
        Writer.Keep();
    }
    EXPECT_TRUE(Written() == Program);
}

TEST_F(ProgramWriterTest, FailuresLeaveTheTargetEmptyAndTheCrcWhole) {
    const std::string Program = SamplePayload(50000, 43);
    const auto *Bytes = reinterpret_cast<const uint8_t *>(Program.data());
    std::string Decoded = Program;
    ConvertCallOperands(&Decoded[0], uint32_t(Decoded.size()), false, 0);
    for (bool Thread : {false, true}) {
        SCOPED_TRACE(Thread ? "thread" : "inline");
        {
            SCOPED_TRACE("given up halfway");
            TFile Target(Path.string(), fcCreateAlways, amWrite, smNone);
            TProgramWriter Writer(Bytes, uint32_t(Program.size()), Target, Thread ? 0 : ~0u, 4096);
            Writer.Advance(uint32_t(Program.size() / 2));
        }
        EXPECT_EQ(fs::file_size(Path), 0u);
        {
            SCOPED_TRACE("a file that refuses writing");
            TFile Target(Path.string(), fcOpenExisting, amRead, smNone);
            TProgramWriter Writer(Bytes, uint32_t(Program.size()), Target, Thread ? 0 : ~0u, 4096);
            Writer.Advance(uint32_t(Program.size()));
            const TProgramWriter::TOutcome Outcome = Writer.Finish();
            EXPECT_NE(Outcome.WriteError, 0u);
            EXPECT_EQ(Outcome.Crc, ComputeCrc32(Decoded.data(), Decoded.size()))
                << "summed to the end all the same";
        }
    }
}

} // namespace
