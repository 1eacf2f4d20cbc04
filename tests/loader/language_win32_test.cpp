// Runs with LC_ALL=zh_CN.UTF-8: Wine then reports code page 936 and LANGID 0x804.
#include "records/language.h"

#include <gtest/gtest.h>

#include "records/messages.h"
#include "support/win.h"
#include "test_messages.h"

namespace {

int32_t Chosen(const std::vector<TSetupLanguageEntry> &Entries, uint8_t Mode,
               const std::string &Option = "") {
    ActiveLanguageIndex = -1;
    ChooseLanguage(Entries.data(), static_cast<int32_t>(Entries.size()), Option, Mode);
    return ActiveLanguageIndex;
}

} // namespace

TEST(LanguageWin32, ChoosesFromTheSystemsSettings) {
    ASSERT_EQ(::GetACP(), 936u);
    ASSERT_EQ(::GetUserDefaultLangID(), 0x804);
    ASSERT_EQ(DetectUILanguage() & 0xFFFF, 0x804u);

    const std::vector<TSetupLanguageEntry> Entries = {MakeTestLanguage("English", 0x409, 0),
                                                      MakeTestLanguage("Chinese", 0x804, 936)};
    EXPECT_EQ(Chosen(Entries, DetectByUILanguage), 1);
    EXPECT_EQ(LoaderMessages[0], "Chinese");
    EXPECT_EQ(Chosen(Entries, DetectByUserLocale), 1);
    EXPECT_EQ(Chosen(Entries, 2), 0);
    EXPECT_EQ(Chosen(Entries, DetectByUserLocale, "ENGLISH"), 0);

    // Traditional Chinese texts need code page 950: the exact entry is skipped, the one of the
    // same primary language that takes any code page is chosen.
    const std::vector<TSetupLanguageEntry> Other = {MakeTestLanguage("English", 0x409, 0),
                                                    MakeTestLanguage("Big5", 0x804, 950),
                                                    MakeTestLanguage("Any", 0x404, 0)};
    EXPECT_EQ(Chosen(Other, DetectByUserLocale), 2);
    ActiveLanguageIndex = -1;
    ClearLoaderMessages();
}
