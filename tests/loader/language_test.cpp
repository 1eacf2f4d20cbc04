#include "records/language.h"

#include <gtest/gtest.h>

#include <vector>

#include "records/messages.h"
#include "support/builtin_texts.h"
#include "support/exceptions.h"
#include "test_messages.h"

namespace {

class Language : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        ActiveLanguageIndex = -1;
        ClearLoaderMessages();
    }
    int32_t Select(const std::string &LangOption, uint8_t DetectMode,
                   const TLanguageSystemValues &System) {
        return SelectLanguageIndex(Entries.data(), static_cast<int32_t>(Entries.size()),
                                   LangOption, DetectMode, System);
    }

    std::vector<TSetupLanguageEntry> Entries;
};

TLanguageSystemValues System(uint32_t UI, uint32_t User, uint32_t AnsiCodePage) {
    TLanguageSystemValues Values;
    Values.UILanguage = UI;
    Values.UserLangID = User;
    Values.AnsiCodePage = AnsiCodePage;
    return Values;
}

} // namespace

TEST_F(Language, LangOptionMatchesNameIgnoringAsciiCaseAndCodePage) {
    Entries = {MakeTestLanguage("English", 0x409, 0), MakeTestLanguage("Chinese", 0x804, 936)};
    // The system's code page is 1252 and the UI is English: the option still wins.
    EXPECT_EQ(Select("cHINESE", DetectByUILanguage, System(0x409, 0x409, 1252)), 1);
    // A name that matches nothing falls back to detection.
    EXPECT_EQ(Select("Chinese2", DetectByUILanguage, System(0x804, 0, 936)), 1);
    EXPECT_EQ(Select("Chin", DetectByUILanguage, System(0x409, 0, 1252)), 0);
}

TEST_F(Language, DetectionPasses) {
    const struct {
        const char *Name;
        std::vector<TSetupLanguageEntry> Entries;
        uint8_t Mode;
        TLanguageSystemValues System;
        int32_t Expected;
    } Cases[] = {
        {"primary-language pass for the user locale",
         {MakeTestLanguage("en", 0x409, 0), MakeTestLanguage("zh", 0x804, 0)}, DetectByUserLocale,
         System(0x409, 0x404, 950), 1},
        {"exact match before a primary match",
         {MakeTestLanguage("en", 0x409, 0), MakeTestLanguage("zh-CN", 0x804, 0), MakeTestLanguage("zh-TW", 0x404, 0)},
         DetectByUserLocale, System(0, 0x404, 950), 2},
        {"exact entry with a foreign code page is skipped in both passes",
         {MakeTestLanguage("en", 0x409, 0), MakeTestLanguage("zh936", 0x804, 936), MakeTestLanguage("zh", 0x804, 0)},
         DetectByUILanguage, System(0x804, 0, 1252), 2},
        {"code page equal to the system's is acceptable",
         {MakeTestLanguage("en", 0x409, 0), MakeTestLanguage("zh936", 0x804, 936)}, DetectByUILanguage,
         System(0x804, 0, 936), 1},
        {"UI mode ignores the user locale", {MakeTestLanguage("en", 0x409, 0), MakeTestLanguage("zh", 0x804, 0)},
         DetectByUILanguage, System(0x409, 0x804, 936), 0},
        {"UI language uses its low 16 bits only",
         {MakeTestLanguage("en", 0x409, 0), MakeTestLanguage("zh", 0x804, 0)}, DetectByUILanguage,
         System(0x10804, 0, 936), 1},
        {"mode 2 detects nothing", {MakeTestLanguage("en", 0x409, 0), MakeTestLanguage("zh", 0x804, 0)}, 2,
         System(0x804, 0x804, 936), 0},
        {"mode 200 detects nothing", {MakeTestLanguage("en", 0x409, 0), MakeTestLanguage("zh", 0x804, 0)}, 200,
         System(0x804, 0x804, 936), 0},
        {"unknown language falls back to entry 0",
         {MakeTestLanguage("en", 0x409, 0), MakeTestLanguage("zh", 0x804, 0)}, DetectByUserLocale,
         System(0, 0x411, 932), 0},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        Entries = Case.Entries;
        EXPECT_EQ(Select("", Case.Mode, Case.System), Case.Expected);
    }
}

TEST_F(Language, ChooseLanguageLoadsTheChosenBlock) {
    Entries = {MakeTestLanguage("en", 0x409, 0), MakeTestLanguage("zh", 0x804, 0)};
    ChooseLanguage(Entries.data(), 2, "", DetectByUserLocale, System(0, 0x804, 936));
    EXPECT_EQ(ActiveLanguageIndex, 1);
    EXPECT_EQ(LoaderMessages[0], "zh");
    // The setup program's request: the active one, -1 and past the end change nothing.
    for (int32_t Index : {1, -1, 2, 1000}) {
        SCOPED_TRACE(Index);
        LoaderMessages[0] = "untouched";
        ActivateLanguage(Entries.data(), 2, Index);
        EXPECT_EQ(ActiveLanguageIndex, 1);
        EXPECT_EQ(LoaderMessages[0], "untouched");
    }
    ActivateLanguage(Entries.data(), 2, 0);
    EXPECT_EQ(ActiveLanguageIndex, 0);
    EXPECT_EQ(LoaderMessages[0], "en");
}

TEST_F(Language, NoEntriesLoadsNothing) {
    EXPECT_NO_THROW(ChooseLanguage(nullptr, 0, "x", DetectByUILanguage, System(0x409, 0, 1252)));
    EXPECT_EQ(ActiveLanguageIndex, -1);
    EXPECT_TRUE(LoaderMessages[0].empty());
}

TEST_F(Language, BadBlockRaisesAndKeepsTheActiveIndex) {
    Entries = {MakeTestLanguage("en", 0x409, 0), MakeTestLanguage("short", 0x804, 0)};
    Entries[1].Strings[SetupLanguageMessageBlockIndex].resize(80);
    ActivateLanguage(Entries.data(), 2, 0);
    try {
        ActivateLanguage(Entries.data(), 2, 1);
        ADD_FAILURE() << "no exception";
    } catch (const Exception &E) {
        EXPECT_EQ(E.Message(), SetupCorruptText);
    }
    EXPECT_EQ(ActiveLanguageIndex, 0);
    EXPECT_EQ(LoaderMessages[0], "en");
}

TEST(LanguageId, ParseHexLanguageIdIsStrict) {
    const struct {
        const char *Text;
        bool Ok;
        uint32_t Value;
    } Cases[] = {
        {"00000409", true, 0x409}, {"804", true, 0x804},    {"aBcD", true, 0xABCD},
        {"FFFFFFFF", true, 0xFFFFFFFF}, {"000000000001", true, 1},
        {"", false, 0},            {"100000000", false, 0}, {"0x409", false, 0},
        {" 409", false, 0},        {"409 ", false, 0},      {"04 09", false, 0},
        {"-409", false, 0},        {"+409", false, 0},      {"40G", false, 0},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Text);
        uint32_t Value = 12345;
        EXPECT_EQ(ParseHexLanguageId(Case.Text, Value), Case.Ok);
        EXPECT_EQ(Value, Case.Ok ? Case.Value : 12345u);
    }
}
