// The host's stand-ins: environment through getenv, temporary directory from TMP/TEMP or /tmp.
#include "support/path.h"
#include "support/system_queries.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

namespace {

// Sets or removes a variable for one test and puts the old state back.
class TEnvOverride {
public:
    TEnvOverride(const char *Name, const char *Value) : FName(Name) {
        const char *Old = std::getenv(Name);
        FHadValue = Old != nullptr;
        if (Old)
            FOld = Old;
        if (Value)
            ::setenv(Name, Value, 1);
        else
            ::unsetenv(Name);
    }
    ~TEnvOverride() {
        if (FHadValue)
            ::setenv(FName, FOld.c_str(), 1);
        else
            ::unsetenv(FName);
    }

private:
    const char *FName;
    bool FHadValue;
    std::string FOld;
};

TEST(SystemQueries, ReadsEnvironmentVariables) {
    TEnvOverride Long("QUOV_TEST_VAR", std::string(300, 'v').c_str());
    EXPECT_EQ(ReadEnvVar("QUOV_TEST_VAR"), std::string(300, 'v'));
    TEnvOverride Empty("QUOV_TEST_EMPTY", "");
    EXPECT_EQ(ReadEnvVar("QUOV_TEST_EMPTY"), "");
    TEnvOverride Unset("QUOV_TEST_UNSET", nullptr);
    EXPECT_EQ(ReadEnvVar("QUOV_TEST_UNSET"), "");
    EXPECT_EQ(OsPlatformId, PlatformWin32NT);
}

TEST(SystemQueries, FindsTheTemporaryDirectory) {
    std::string Here = MakeFullPath(".");
    {
        SCOPED_TRACE("TMP names the current directory relatively");
        TEnvOverride Tmp("TMP", ".");
        EXPECT_EQ(FindTempDirectory(), Here + "/");
    }
    {
        SCOPED_TRACE("TMP missing, TEMP with a trailing separator");
        TEnvOverride Tmp("TMP", "/nonexistent/quov");
        TEnvOverride Temp("TEMP", (Here + "/").c_str());
        EXPECT_EQ(FindTempDirectory(), Here + "/");
    }
    {
        SCOPED_TRACE("neither usable: /tmp");
        TEnvOverride Tmp("TMP", "/proc/self/exe");
        TEnvOverride Temp("TEMP", nullptr);
        EXPECT_EQ(FindTempDirectory(), "/tmp/");
    }
}

} // namespace
