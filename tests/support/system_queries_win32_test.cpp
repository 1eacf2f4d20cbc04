#include "support/path.h"
#include "support/system_queries.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Sets (or, for nullptr, removes) an environment variable for one test and puts it back.
// Only ASCII values: Wine mangles values with double-byte characters.
class TEnvOverride {
public:
    TEnvOverride(const char *Name, const char *Value) : FName(Name) {
        char Probe[1];
        FHadValue = ::GetEnvironmentVariableA(Name, Probe, 0) != 0;
        FOld = ReadEnvVar(Name);
        ::SetEnvironmentVariableA(Name, Value);
    }
    ~TEnvOverride() { ::SetEnvironmentVariableA(FName, FHadValue ? FOld.c_str() : nullptr); }

private:
    const char *FName;
    bool FHadValue;
    std::string FOld;
};

TEST(SystemQueriesWin32, ReadsEnvironmentVariablesOfEveryLength) {
    for (size_t Length : {1u, 254u, 255u, 256u, 1000u, 32000u}) {
        SCOPED_TRACE(Length);
        std::string Value(Length, 'v');
        Value[0] = 'A';
        Value.back() = 'Z';
        TEnvOverride Var("QUOV_TEST_VAR", Value.c_str());
        EXPECT_EQ(ReadEnvVar("QUOV_TEST_VAR"), Value);
    }
    TEnvOverride Unset("QUOV_TEST_UNSET", nullptr);
    EXPECT_EQ(ReadEnvVar("QUOV_TEST_UNSET"), "");
    TEnvOverride Empty("QUOV_TEST_EMPTY", "");
    EXPECT_EQ(ReadEnvVar("QUOV_TEST_EMPTY"), "");
}

TEST(SystemQueriesWin32, KnowsThePlatformAndWindowsDirectory) {
    EXPECT_EQ(OsPlatformId, PlatformWin32NT) << "set during start-up";
    std::string Windows = QueryWindowsDirectory();
    EXPECT_TRUE(IsExistingDirectory(Windows)) << Windows;
    EXPECT_GT(RootPrefixLength(Windows, false), 0);
}

class TTempDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        FBase = EnsureTrailingSeparator(MakeFullPath(ReadEnvVar("TEMP"))) + "quov_tempdir_test";
        ::CreateDirectoryA(FBase.c_str(), nullptr);
        ::CreateDirectoryA((FBase + "\\sub").c_str(), nullptr);
        HANDLE File = ::CreateFileA((FBase + "\\file.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(File, INVALID_HANDLE_VALUE);
        ::CloseHandle(File);
        ASSERT_TRUE(IsExistingDirectory(FBase + "\\sub"));
    }
    void TearDown() override {
        ::DeleteFileA((FBase + "\\file.txt").c_str());
        ::RemoveDirectoryA((FBase + "\\sub").c_str());
        ::RemoveDirectoryA(FBase.c_str());
    }
    std::string FBase;
};

TEST_F(TTempDirectoryTest, TakesTheFirstExistingDirectory) {
    const std::string Unset = "<unset>";
    const std::string Base = FBase;
    const std::string Missing = Base + "\\missing";
    const std::string File = Base + "\\file.txt";
    const std::string Windows = QueryWindowsDirectory() + "\\";
    struct {
        const char *What;
        std::string Tmp, Temp, Profile, Expected;
    } const Cases[] = {
        {"TMP with a trailing backslash", Base + "\\", Unset, Unset, Base + "\\"},
        // The system's full path collapses the doubled separator.
        {"TMP with two trailing backslashes", Base + "\\\\", Unset, Unset, Base + "\\"},
        {"TMP without a trailing backslash", Base, Unset, Unset, Base + "\\"},
        {"TMP naming a file", File, Base + "\\sub", Unset, Base + "\\sub\\"},
        {"TMP missing, TEMP set", Missing, Base + "\\sub\\", Unset, Base + "\\sub\\"},
        {"only USERPROFILE", Missing, Unset, Base, Base + "\\"},
        {"USERPROFILE naming a file", Unset, "", File, Windows},
        {"nothing usable", Missing, Missing, Unset, Windows},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.What);
        TEnvOverride Tmp("TMP", C.Tmp == Unset ? nullptr : C.Tmp.c_str());
        TEnvOverride Temp("TEMP", C.Temp == Unset ? nullptr : C.Temp.c_str());
        TEnvOverride Profile("USERPROFILE", C.Profile == Unset ? nullptr : C.Profile.c_str());
        EXPECT_EQ(FindTempDirectory(), C.Expected);
    }
}

TEST_F(TTempDirectoryTest, MakesARelativeDirectoryAbsolute) {
    char Old[MAX_PATH];
    ASSERT_GT(::GetCurrentDirectoryA(MAX_PATH, Old), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryA(FBase.c_str()));
    std::string Found;
    {
        TEnvOverride Tmp("TMP", ".");
        Found = FindTempDirectory();
    }
    {
        TEnvOverride Tmp("TMP", "sub");
        EXPECT_EQ(FindTempDirectory(), FBase + "\\sub\\");
    }
    ::SetCurrentDirectoryA(Old);
    EXPECT_EQ(Found, FBase + "\\");
}

// Test values under HKCU\Software\QuovTest, removed again afterwards.
class TRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\QuovTest", 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &FKey, nullptr),
                  ERROR_SUCCESS);
        SetValue("NoZero", REG_SZ, "abc", 3);
        SetValue("OneZero", REG_SZ, "abc\0", 4);
        SetValue("TwoZeros", REG_SZ, "abc\0\0", 5);
        SetValue("Expand", REG_EXPAND_SZ, "%TEMP%\\x\0", 9);
        SetValue("Empty", REG_SZ, "", 0);
        SetValue("Dword", REG_DWORD, "\x01\x00\x00\x00", 4);
        SetValue("Binary", REG_BINARY, "abc\0", 4);
    }
    void TearDown() override {
        for (const char *Name :
             {"NoZero", "OneZero", "TwoZeros", "Expand", "Empty", "Dword", "Binary"})
            ::RegDeleteValueA(FKey, Name);
        ::RegCloseKey(FKey);
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\QuovTest");
    }
    void SetValue(const char *Name, DWORD Type, const char *Data, DWORD Size) {
        ASSERT_EQ(::RegSetValueExA(FKey, Name, 0, Type, reinterpret_cast<const BYTE *>(Data), Size),
                  ERROR_SUCCESS);
    }
    HKEY FKey = nullptr;
};

TEST_F(TRegistryTest, ReadsStringValues) {
    struct {
        const char *Name;
        bool Ok;
        std::string Value;
    } const Cases[] = {
        {"NoZero", true, "abc"},
        {"OneZero", true, "abc"},
        {"TwoZeros", true, "abc"},
        {"Expand", true, "%TEMP%\\x"},
        {"Empty", true, ""},
        {"Dword", false, "untouched"},
        {"Binary", false, "untouched"},
        {"Missing", false, "untouched"},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        std::string Value = "untouched";
        EXPECT_EQ(ReadRegistryString(FKey, C.Name, Value), C.Ok);
        EXPECT_EQ(Value, C.Value);
    }
    // The general reader takes the accepted types as arguments.
    std::string Value = "untouched";
    EXPECT_TRUE(QueryRegistryText(FKey, "Binary", REG_BINARY, REG_BINARY, Value));
    EXPECT_EQ(Value, "abc");
}

TEST_F(TRegistryTest, OpensKeysInBothViews) {
    for (int32_t View : {RegistryViewDefault, RegistryView64}) {
        SCOPED_TRACE(View);
        HKEY Key = nullptr;
        ASSERT_EQ(OpenRegistryKeyInView(View, HKEY_CURRENT_USER, "Software\\QuovTest", 0,
                                        KEY_QUERY_VALUE, Key),
                  ERROR_SUCCESS);
        std::string Value;
        EXPECT_TRUE(ReadRegistryString(Key, "OneZero", Value));
        EXPECT_EQ(Value, "abc");
        ::RegCloseKey(Key);
    }
    HKEY Key = nullptr;
    EXPECT_EQ(OpenRegistryKeyInView(RegistryViewDefault, HKEY_CURRENT_USER,
                                    "Software\\QuovTest\\Missing", 0, KEY_QUERY_VALUE, Key),
              ERROR_FILE_NOT_FOUND);
}

uint16_t ReadFpuControlWord() {
    uint16_t Word;
    __asm__ __volatile__("fnstcw %0" : "=m"(Word));
    return Word;
}

uint16_t ReadFpuStatusWord() {
    uint16_t Word;
    __asm__ __volatile__("fnstsw %0" : "=m"(Word));
    return Word;
}

void SetFpuControlWord(uint16_t Word) {
    __asm__ __volatile__("fldcw %0" : : "m"(Word));
}

TEST(SystemQueriesWin32, LoadLibraryGuardedRestoresErrorModeAndFpu) {
    const uint16_t OldControl = ReadFpuControlWord();
    // All exceptions masked, rounding toward zero: unusual enough to notice a reset.
    constexpr uint16_t TestControl = 0x0F7F;
    constexpr UINT TestMode = SEM_FAILCRITICALERRORS;
    const UINT OldMode = ::SetErrorMode(TestMode);
    for (const char *Name : {"shell32.dll", "quov_no_such_library.dll"}) {
        SCOPED_TRACE(Name);
        SetFpuControlWord(TestControl);
        // A pending (masked) division-by-zero flag, which the guarded load clears.
        volatile double Zero = 0.0;
        volatile double Inf = 1.0 / Zero;
        (void)Inf;
        HMODULE Module = LoadLibraryGuarded(Name, SEM_NOOPENFILEERRORBOX);
        uint16_t Control = ReadFpuControlWord();
        uint16_t Status = ReadFpuStatusWord();
        UINT Mode = ::SetErrorMode(TestMode);
        EXPECT_EQ(Module != nullptr, Name[0] == 's');
        EXPECT_EQ(Control, TestControl);
        EXPECT_EQ(Status & 0x3F, 0) << "pending exception flags";
        EXPECT_EQ(Mode, TestMode);
    }
    SetFpuControlWord(OldControl);
    ::SetErrorMode(OldMode);
}

} // namespace
