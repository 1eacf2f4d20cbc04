#include "loader/temp_dir.h"

#include <gtest/gtest.h>

#include <set>

#include "records/messages.h"
#include "support/exceptions.h"
#include "support/path.h"
#include "test_messages.h"

TEST(TempDir, EncodeBase32) {
    const struct {
        uint32_t Value;
        const char *Digits;
    } Cases[] = {
        {0, "00000"},       {1, "00001"},          {31, "0000V"},
        {32, "00010"},      {33554431, "VVVVV"},   {33554432, "00000"},
        {0xFFFFFFFF, "VVVVV"}, {15 * 32768 + 3 * 1024 + 26 * 32 + 20, "0F3QK"},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Value);
        EXPECT_EQ(EncodeBase32(Case.Value), Case.Digits);
    }
}

namespace {

uint32_t FixedStart;
uint32_t LastBound;
uint32_t FixedRandom(uint32_t N) {
    LastBound = N;
    return FixedStart;
}

std::set<std::string> ExistingPaths;
std::vector<std::string> Tested;
bool FakeExists(bool, const std::string &Path) {
    Tested.push_back(Path);
    return ExistingPaths.count(Path) != 0;
}

std::string Pick(const std::string &Directory, uint32_t Start, uint32_t NameCount) {
    FixedStart = Start;
    Tested.clear();
    return PickUniqueNameWith(false, Directory, ".tmp", NameCount, FixedRandom, FakeExists);
}

} // namespace

TEST(TempDir, PickUniqueNameStartsBehindTheRandomStartAndWraps) {
    ExistingPaths.clear();
    EXPECT_EQ(Pick("C:\\TEMP\\", 33554431, TempNameCount), "C:\\TEMP\\is-00000.tmp");
    EXPECT_EQ(LastBound, TempNameCount);
    EXPECT_EQ(Pick("C:\\TEMP", 5, TempNameCount), "C:\\TEMP\\is-00006.tmp");
    EXPECT_EQ(Tested.size(), 1u);
}

TEST(TempDir, PickUniqueNameSkipsExistingCandidates) {
    ExistingPaths = {"C:\\T\\is-00000.tmp", "C:\\T\\is-00001.tmp", "C:\\T\\is-00003.tmp"};
    EXPECT_EQ(Pick("C:\\T", 33554431, TempNameCount), "C:\\T\\is-00002.tmp");
    EXPECT_EQ(Tested.size(), 3u);
}

TEST(TempDir, PickUniqueNameReportsAFullDirectory) {
    LoadTestMessages({{MsgDirFull, "no free name in %1"}});
    const struct {
        const char *Directory;
        const char *Shown;
    } Cases[] = {{"C:\\T\\", "C:\\T"}, {"C:\\", "C:\\"}};
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Directory);
        // A name space of 4: with start 2 the numbers 3, 0 and 1 are tried; 2 is never offered.
        ExistingPaths.clear();
        for (uint32_t N : {3u, 0u, 1u})
            ExistingPaths.insert(EnsureTrailingSeparator(Case.Directory) + "is-" +
                                 EncodeBase32(N) + ".tmp");
        try {
            Pick(Case.Directory, 2, 4);
            ADD_FAILURE() << "no exception";
        } catch (const Exception &E) {
            EXPECT_EQ(E.Message(), std::string("no free name in ") + Case.Shown);
        }
        EXPECT_EQ(Tested.size(), 3u);
        // One name left free: it is found, whichever it is.
        ExistingPaths.erase(EnsureTrailingSeparator(Case.Directory) + "is-00000.tmp");
        EXPECT_NO_THROW(Pick(Case.Directory, 2, 4));
    }
    ClearLoaderMessages();
}

// A step of the private security that failed without a code still fails the run, with a code
// of its own; every other code is reported as the system gave it.
TEST(TempDir, RunTempDirFailureAlwaysCarriesACode) {
    LoadTestMessages({{MsgSystemErrorFormat, "%1|%2"}, {MsgCreateDirFailed, "create %1"}});
    const struct {
        uint32_t Code;
        bool SecurityStep;
        const char *Shown;
    } Cases[] = {
        {0, true, "create C:\\T\\is-1|1338"},
        {5, true, "create C:\\T\\is-1|5"},
        {5, false, "create C:\\T\\is-1|5"},
        {0, false, "create C:\\T\\is-1|0"},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(testing::Message() << Case.Code << (Case.SecurityStep ? " security" : ""));
        EXPECT_EQ(RunTempDirFailure("C:\\T\\is-1", Case.Code, Case.SecurityStep), Case.Shown);
    }
    ClearLoaderMessages();
}
