#include "tools/default_languages.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "records/language.h"
#include "records/messages.h"
#include "records/setup_package.h"
#include "tests/setupdata/memory_file.h"
#include "tools/host_files.h"
#include "tools/packlib/pe_stub.h"
#include "default_languages_package.h"
#include "test_stub.h"

namespace {

// A message folder with three default languages, one file outside the fixed order and one that
// is no message file; the working directory holds a file named "ko".
TEST(DefaultLanguages, ResolvesShortNamesAllAndPaths) {
    TScratchDir Dir;
    ASSERT_EQ(::mkdir((Dir / "m").c_str(), 0700), 0);
    for (const char *Name : {"ja.txt", "en.txt", "xx.txt", "de.txt", "README.md"})
        WriteFileBytes(Dir / "m" + "/" + Name, std::string("name = X\n"));
    WriteFileBytes(Dir / "ko", std::string("name = Y\n"));
    char Here[4096];
    ASSERT_NE(::getcwd(Here, sizeof(Here)), nullptr);
    ASSERT_EQ(::chdir(Dir.Path().c_str()), 0);
    const std::string M = Dir / "m";
    EXPECT_EQ(ListDefaultLanguages(M), (std::vector<std::string>{"en", "de", "ja", "xx"}));
    struct {
        std::vector<std::string> Values;
        std::vector<std::string> Expected; // empty: refused
    } Cases[] = {
        {{"de", "xx"}, {M + "/de.txt", M + "/xx.txt"}},
        {{"all"}, {M + "/en.txt", M + "/de.txt", M + "/ja.txt", M + "/xx.txt"}},
        {{"ja", "all"}, {M + "/ja.txt", M + "/en.txt", M + "/de.txt", M + "/xx.txt"}},
        {{"all", "de"}, {M + "/en.txt", M + "/ja.txt", M + "/xx.txt", M + "/de.txt"}},
        {{"ko", "sub/de", "fr.txt"}, {"ko", "sub/de", "fr.txt"}}, // a file, a /, a .txt
        {{"fr"}, {}},
        {{"README"}, {}},
    };
    for (auto &C : Cases) {
        SCOPED_TRACE(C.Values[0]);
        if (C.Expected.empty())
            EXPECT_THROW(ResolveLanguageValues(C.Values, M), EInputError);
        else
            EXPECT_EQ(ResolveLanguageValues(C.Values, M), C.Expected);
    }
    EXPECT_THROW(ListDefaultLanguages(Dir / "none"), EInputError);
    ASSERT_EQ(::chdir(Here), 0);
}

// The installer of every shipped language, accepted as the loader accepts it: on each system
// (the LANGID and ANSI code page it reports; the commented ones as Wine gives them for the Unix
// locale) or with /Lang=, the language the loader picks shows its file's startup question in
// its code page, byte for byte.
TEST(DefaultLanguages, EachSystemSeesItsOwnPrompt) {
    namespace P = DefaultLanguagesPackage;
    const std::vector<uint8_t> Stub = BuildTestStub();
    const std::string Package = BuildPackage(
        P::Parts(QUOV_MESSAGES_DIR, std::string(Stub.begin(), Stub.end()),
                 RunnableProgram("program")));
    const TLoaderOffsetTable Table = FindOffsetTableInImage(
        reinterpret_cast<const uint8_t *>(Package.data()), Package.size());
    TMemoryFile File(Package);
    TAcceptedPackage Accepted;
    AcceptPackage(File, Table, {/*AllMessageBlocks=*/true, /*DecodeProgram=*/false}, Accepted);
    const std::vector<std::string> Order = ListDefaultLanguages(QUOV_MESSAGES_DIR);
    ASSERT_EQ(Accepted.Entries.size(), Order.size());

    struct {
        const char *System;
        uint32_t LanguageId, AnsiCodePage;
        const char *LangOption;
        const char *Expected; // short name
    } Cases[] = {
        {"en_US (Wine)", 0x409, 1252, "", "en"},       {"en_GB", 0x809, 1252, "", "en"},
        {"de_DE", 0x407, 1252, "", "de"},              {"de_AT", 0xC07, 1252, "", "de"},
        {"fr_FR", 0x40C, 1252, "", "fr"},              {"fr_CA", 0xC0C, 1252, "", "fr"},
        {"es_ES", 0xC0A, 1252, "", "es"},              {"es_MX", 0x80A, 1252, "", "es"},
        {"it_IT", 0x410, 1252, "", "it"},              {"pt_BR", 0x416, 1252, "", "pt_BR"},
        {"pt_PT", 0x816, 1252, "", "pt_PT"},           {"nl_NL", 0x413, 1252, "", "nl"},
        {"sv_SE", 0x41D, 1252, "", "sv"},              {"da_DK", 0x406, 1252, "", "da"},
        {"nb_NO", 0x414, 1252, "", "nb"},              {"fi_FI", 0x40B, 1252, "", "fi"},
        {"pl_PL (Wine)", 0x415, 1250, "", "pl"},       {"cs_CZ", 0x405, 1250, "", "cs"},
        {"hu_HU", 0x40E, 1250, "", "hu"},              {"ru_RU (Wine)", 0x419, 1251, "", "ru"},
        {"uk_UA", 0x422, 1251, "", "uk"},              {"tr_TR (Wine)", 0x41F, 1254, "", "tr"},
        {"el_GR (Wine)", 0x408, 1253, "", "el"},       {"he_IL (Wine)", 0x40D, 1255, "", "he"},
        {"ar_SA (Wine)", 0x401, 1256, "", "ar"},       {"ar_EG", 0xC01, 1256, "", "ar"},
        {"ja_JP (Wine)", 0x411, 932, "", "ja"},        {"ko_KR (Wine)", 0x412, 949, "", "ko"},
        {"zh_CN (Wine)", 0x804, 936, "", "zh_CN"},     {"zh_SG", 0x1004, 936, "", "zh_CN"},
        {"zh_TW (Wine)", 0x404, 950, "", "zh_TW"},     {"zh_HK", 0xC04, 950, "", "zh_TW"},
        // A language nobody ships, and a Japanese UI over a Western code page: the fallback.
        {"th_TH", 0x41E, 874, "", "en"},               {"ja UI, code page 1252", 0x411, 1252, "", "en"},
        // /Lang= wins over the system, whatever its code page.
        {"en_US (Wine)", 0x409, 1252, "German", "de"}, {"en_US (Wine)", 0x409, 1252, "jApAnEsE", "ja"},
        {"en_US (Wine)", 0x409, 1252, "PortuguesePortugal", "pt_PT"},
        {"ru_RU (Wine)", 0x419, 1251, "ChineseTraditional", "zh_TW"},
    };
    for (auto &C : Cases) {
        SCOPED_TRACE(std::string(C.System) + " /Lang=" + C.LangOption);
        TLanguageSystemValues System;
        System.UILanguage = System.UserLangID = C.LanguageId;
        System.AnsiCodePage = C.AnsiCodePage;
        const int32_t Count = static_cast<int32_t>(Accepted.Entries.size());
        const int32_t Index = SelectLanguageIndex(Accepted.Entries.data(), Count, C.LangOption,
                                                  Accepted.Header.LanguageDetectMode(), System);
        ASSERT_TRUE(Index >= 0 && Index < Count);
        EXPECT_EQ(Order[Index], C.Expected);
        ActiveLanguageIndex = -1;
        ActivateLanguage(Accepted.Entries.data(), Count, Index);
        const std::string Shown =
            FormatLoaderMessage1(MsgStartupPrompt, Accepted.Header.ApplicationName());
        const std::string Expected = P::ExpectedText(QUOV_MESSAGES_DIR, C.Expected, "StartupPrompt");
        EXPECT_EQ(Shown, Expected) << CodePageToDisplay(Shown, C.AnsiCodePage);
    }
    ActiveLanguageIndex = -1;
    ClearLoaderMessages();
}

} // namespace
