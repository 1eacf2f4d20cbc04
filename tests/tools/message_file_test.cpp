#include "tools/message_file.h"
#include "tools/host_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "tools/default_languages.h"
#include "tools/text_codec.h"
#include "test_stub.h"

namespace {

const char Header[] = "name = Test\nlangid = 0x0409\ncodepage = 0\n";

TEST(MessageFile, ReadsNumbersNamesAndEscapes) {
    TMessageFile F = ParseMessageFile(std::string("\xEF\xBB\xBF") + Header +
                                          "# comment\r\n"
                                          "MsgStartupPrompt = Install %1?\r\n"
                                          "dirfull=  full: %1  \n"
                                          "96 = %1\\n\\nError %2: %3\n"
                                          "0 = \\sleading\\\\and \\t # kept\n"
                                          "206 = last\n",
                                      "t.txt");
    EXPECT_EQ(F.Name, "Test");
    EXPECT_EQ(F.LanguageId, 0x409u);
    EXPECT_EQ(F.CodePage, 0u);
    EXPECT_EQ(F.Messages[MsgStartupPrompt], "Install %1?");
    EXPECT_EQ(F.Messages[MsgDirFull], "full: %1");
    EXPECT_EQ(F.Messages[MsgSystemErrorFormat], "%1\n\nError %2: %3");
    EXPECT_EQ(F.Messages[0], " leading\\and \t # kept");
    EXPECT_EQ(F.Messages[206], "last");
    EXPECT_EQ(F.Messages[1], "");
}

TEST(MessageFile, RefusesWithFileAndLine) {
    struct {
        std::string Text;
        const char *Expected;
    } Cases[] = {
        {std::string(Header) + "207 = x\n", "t.txt:4: message number 207 is outside 0..206"},
        {std::string(Header) + "Prompt = x\n", "t.txt:4: unknown key"},
        {std::string(Header) + "5 = a\n5 = b\n", "t.txt:5: message 5 is given twice"},
        {std::string(Header) + "5 = \xE5\xAE\x89\xE8\xA3\x85\n", "t.txt:4: message 5: character"},
        {std::string(Header) + "5 = a\\q\n", "t.txt:4: unknown escape"},
        {std::string(Header) + "5 = \xFF\n", "invalid UTF-8"},
        {std::string(Header) + "just text\n", "t.txt:4: expected"},
        {"langid = 1\ncodepage = 0\n", "t.txt: the language name is missing"},
        {"name = X\nlangid = 0x10000\n", "t.txt:2: langid must be"},
        {"name = X\nlangid = 1\ncodepage = 99999\n", "t.txt:3: codepage must be"},
        {"name = \xE4\xB8\xAD\nlangid = 1\ncodepage = 0\n", "t.txt:1: language name"},
    };
    for (auto &C : Cases) {
        SCOPED_TRACE(C.Text);
        try {
            ParseMessageFile(C.Text, "t.txt");
            ADD_FAILURE() << "accepted";
        } catch (const EMessageFileError &E) {
            EXPECT_NE(E.Message().find(C.Expected), std::string::npos) << E.Message();
        }
    }
}

TEST(MessageFile, ConvertsToTheLanguageCodePage) {
    // "安装" in code page 936 is B0 B2 D7 B0; a snowman has no place in it.
    TMessageFile F = ParseMessageFile(
        "name = Chinese\nlangid = 0x804\ncodepage = 936\nSetupCaption = \xE5\xAE\x89\xE8\xA3\x85\n",
        "zh.txt");
    EXPECT_EQ(F.Messages[MsgSetupCaption], "\xB0\xB2\xD7\xB0");
    EXPECT_THROW(ParseMessageFile("name = X\nlangid = 1\ncodepage = 936\n1 = \xE2\x98\x83\n", "x"),
                 EMessageFileError);
    TMessageFile W = ParseMessageFile(
        "name = W\nlangid = 1\ncodepage = 1252\n1 = caf\xC3\xA9\n", "w.txt");
    EXPECT_EQ(W.Messages[1], "caf\xE9");
}

TEST(MessageFile, WarnsAboutMissingOrMisusedLoaderMessages) {
    TMessageFile F = ParseMessageFile(std::string(Header) + "ErrorCaption = Oops %1\n", "t.txt");
    bool EmptyPrompt = false, MisusedCaption = false;
    for (const std::string &W : F.Warnings) {
        EmptyPrompt |= W.find("152 (StartupPrompt) is empty") != std::string::npos;
        MisusedCaption |= W.find("t.txt:4: message 68 (ErrorCaption) uses %1") != std::string::npos;
    }
    EXPECT_TRUE(EmptyPrompt);
    EXPECT_TRUE(MisusedCaption);
    EXPECT_EQ(F.Warnings.size(), 10u);
}

// The placeholders a text uses, as a set of digits ("13" for %1 and %3); %% is none.
std::string Placeholders(const std::string &Text) {
    std::string Digits;
    for (size_t I = 0; I + 1 < Text.size(); ++I)
        if (Text[I] == '%' && Text[I + 1] == '%')
            ++I;
        else if (Text[I] == '%' && Text[I + 1] >= '1' && Text[I + 1] <= '9' &&
                 Digits.find(Text[I + 1]) == std::string::npos)
            Digits += Text[I + 1];
    std::sort(Digits.begin(), Digits.end());
    return Digits;
}

// Every shipped file (found by listing the folder) fills in the loader's ten messages and the
// reference setup program's twenty with exactly the placeholders they are given, stores each
// text in its code page without loss, and names a language whose primary LANGID suits that code
// page; the names for "/Lang=" are ASCII and unique.
TEST(MessageFile, ShippedFilesAreComplete) {
    const std::map<int, std::string> Expected = {
        {MsgCreateDirFailed, "1"}, {MsgRestartFailed, ""}, {MsgErrorCaption, ""},
        {MsgDirFull, "1"}, {MsgSystemErrorFormat, "123"}, {MsgTempFileFailed, ""},
        {MsgChildStartFailed, ""}, {MsgSetupCaption, ""}, {MsgCorruptSetupData, ""},
        {MsgStartupPrompt, "1"},
        {170, "1"}, {171, "1"}, {172, ""}, {173, ""}, {174, ""}, {175, ""}, {176, ""},
        {177, "1"}, {178, "1"}, {179, ""}, {180, ""}, {181, "12"}, {182, "1"}, {183, "12"},
        {184, "12"}, {185, "1"}, {186, "123"}, {187, "12"}, {188, "1"}, {189, "1"}};
    // Primary language (low 10 bits of the LANGID) -> the ANSI code page of that language;
    // English may also use 0, and Chinese goes by the whole LANGID.
    const std::map<uint32_t, uint32_t> CodePageOf = {
        {0x01, 1256}, {0x05, 1250}, {0x06, 1252}, {0x07, 1252}, {0x08, 1253}, {0x09, 1252},
        {0x0A, 1252}, {0x0B, 1252}, {0x0C, 1252}, {0x0D, 1255}, {0x0E, 1250}, {0x10, 1252},
        {0x11, 932},  {0x12, 949},  {0x13, 1252}, {0x14, 1252}, {0x15, 1250}, {0x16, 1252},
        {0x19, 1251}, {0x1D, 1252}, {0x1F, 1254}, {0x22, 1251}, {0x0804, 936}, {0x0404, 950}};
    const std::vector<std::string> Files = ListDefaultLanguages(QUOV_MESSAGES_DIR);
    EXPECT_GE(Files.size(), 25u);
    std::set<std::string> Names;
    for (const std::string &Short : Files) {
        SCOPED_TRACE(Short);
        const std::string Path = std::string(QUOV_MESSAGES_DIR) + "/" + Short + ".txt";
        const std::string Source = ReadFileBytes(Path);
        TMessageFile F = LoadMessageFile(Path);
        EXPECT_TRUE(F.Warnings.empty()) << F.Warnings[0];
        for (const auto &E : Expected) {
            SCOPED_TRACE(E.first);
            const std::string &Text = F.Messages[E.first];
            EXPECT_FALSE(Text.empty());
            EXPECT_EQ(Placeholders(Text), E.second) << Text;
            // Back to UTF-8, the text is the file's own (line feeds written as \n there).
            std::string Utf8 = Text;
            if (F.CodePage != 0) {
                ASSERT_TRUE(ConvertCodePageToUtf8(Text, F.CodePage, Utf8));
            }
            for (size_t At = 0; (At = Utf8.find('\n', At)) != std::string::npos; At += 2)
                Utf8.replace(At, 1, "\\n");
            EXPECT_NE(Source.find(" = " + Utf8 + "\n"), std::string::npos) << Utf8;
        }
        // Browse, Install and Language share a window: one accelerator each, all different.
        std::set<char> Keys;
        for (int Number : {173, 174, 176}) {
            const std::string &Text = F.Messages[Number];
            const size_t At = Text.find('&');
            ASSERT_TRUE(At != std::string::npos && At + 1 < Text.size()) << Number;
            EXPECT_EQ(Text.find('&', At + 1), std::string::npos) << Number;
            EXPECT_TRUE(Keys.insert(static_cast<char>(std::tolower(static_cast<unsigned char>(Text[At + 1])))).second)
                << Number << ": " << Text;
        }
        for (unsigned char C : F.Name)
            EXPECT_TRUE(C > 0x20 && C < 0x7F) << F.Name;
        EXPECT_TRUE(Names.insert(F.Name).second) << F.Name << " is used twice";
        const uint32_t Primary = F.LanguageId & 0x3FF;
        auto It = CodePageOf.find(Primary == 0x04 ? F.LanguageId : Primary);
        ASSERT_NE(It, CodePageOf.end()) << std::hex << F.LanguageId;
        EXPECT_TRUE(F.CodePage == It->second || (Primary == 0x09 && F.CodePage == 0))
            << F.CodePage;
    }
    TMessageFile Zh = LoadMessageFile(std::string(QUOV_MESSAGES_DIR) + "/zh_CN.txt");
    EXPECT_EQ(Zh.LanguageId, 0x804u);
    EXPECT_EQ(Zh.CodePage, 936u);
    EXPECT_EQ(Zh.Messages[MsgSetupCaption], "\xB0\xB2\xD7\xB0");
}

TEST(MessageFile, MissingFileIsAnError) {
    EXPECT_THROW(LoadMessageFile("/nonexistent/quovpack/lang.txt"), EInputError);
    EXPECT_THROW(LoadMessageFile("/"), EInputError);
}

} // namespace
