#include "loader/temp_dir.h"

#include <gtest/gtest.h>

#include "loader/fs_redirection.h"
#include "loader/random.h"
#include "support/path.h"
#include "support/win.h"

namespace {

// A fresh directory beside the test program, made the temporary base through TMP.
class TempBase : public ::testing::Test {
protected:
    void SetUp() override {
        char Buffer[MAX_PATH];
        DWORD Count = ::GetModuleFileNameA(nullptr, Buffer, sizeof(Buffer));
        std::string Path(Buffer, Count);
        Base = Path.substr(0, Path.find_last_of('\\') + 1) + "loaderparts_tmp_" +
               std::to_string(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryA(Base.c_str(), nullptr));
        ::SetEnvironmentVariableA("TMP", Base.c_str());
    }
    void TearDown() override {
        for (const std::string &Dir : Created)
            ::RemoveDirectoryA(Dir.c_str());
        ::RemoveDirectoryA(Base.c_str());
    }
    std::string Base;
    std::vector<std::string> Created;
};

uint32_t Milliseconds() { return ::GetTickCount(); }

} // namespace

TEST_F(TempBase, MakeRunTempDirSkipsAnExistingCandidate) {
    RandomSeed = 12345;
    const uint32_t Start = RandomBelow(TempNameCount);
    RandomSeed = 12345;
    const std::string Taken = Base + "\\is-" + EncodeBase32(Start + 1) + ".tmp";
    ASSERT_TRUE(::CreateDirectoryA(Taken.c_str(), nullptr));
    Created.push_back(Taken);

    const std::string Dir = MakeRunTempDir();
    Created.push_back(Dir);
    EXPECT_EQ(Dir, Base + "\\is-" + EncodeBase32(Start + 2) + ".tmp");
    EXPECT_TRUE(IsExistingDirectory(Dir));
}

TEST_F(TempBase, DeleteFileWithRetries) {
    const std::string Missing = Base + "\\missing.tmp";
    // One attempt and no wait: with 2-second delays any retry would show.
    uint32_t Started = Milliseconds();
    DeleteFileWithRetries(false, Missing, 13, 2000, 2000);
    EXPECT_LT(Milliseconds() - Started, 1000u);
    // The same for a path whose directory is gone.
    Started = Milliseconds();
    DeleteFileWithRetries(false, Base + "\\no_dir\\x.tmp", 13, 2000, 2000);
    EXPECT_LT(Milliseconds() - Started, 1000u);

    // A file held open without sharing stays; the attempts end silently after their waits.
    const std::string Locked = Base + "\\locked.tmp";
    HANDLE File = ::CreateFileA(Locked.c_str(), GENERIC_WRITE, /*ShareMode=*/0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(File, INVALID_HANDLE_VALUE);
    Started = Milliseconds();
    DeleteFileWithRetries(false, Locked, 3, 100, 200);
    EXPECT_GE(Milliseconds() - Started, 250u);
    ::CloseHandle(File);
    EXPECT_TRUE(IsExistingPath(Locked));

    DeleteFileWithRetries(false, Locked, 3, 100, 200);
    EXPECT_FALSE(IsExistingPath(Locked));
}

TEST(FsRedirection, GuardWithoutTheSystemFunctionsRunsNothing) {
    const bool Saved = FsRedirectionSupported;
    FsRedirectionSupported = false;
    FsRedirectionSave State;
    State.Disabled = true;
    EXPECT_TRUE(SuspendFsRedirection(false, State));
    EXPECT_FALSE(State.Disabled);

    ::SetLastError(0);
    EXPECT_FALSE(SuspendFsRedirection(true, State));
    EXPECT_EQ(::GetLastError(), 1u);

    // The guard fails before DeleteFileA runs: the file stays and the error is the guard's.
    char Buffer[MAX_PATH];
    ::GetTempFileNameA(".", "lp", 0, Buffer);
    EXPECT_FALSE(DeleteFileNoRedir(true, Buffer));
    EXPECT_EQ(::GetLastError(), 1u);
    EXPECT_TRUE(IsExistingPath(Buffer));
    EXPECT_FALSE(PathExistsNoRedir(true, Buffer));
    EXPECT_TRUE(PathExistsNoRedir(false, Buffer));
    EXPECT_TRUE(DeleteFileNoRedir(false, Buffer));
    EXPECT_FALSE(DeleteFileNoRedir(false, Buffer));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    FsRedirectionSupported = Saved;
}
