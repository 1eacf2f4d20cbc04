#include "tools/message_file.h"
#include "tools/host_files.h"

#include <gtest/gtest.h>

#include "tools/text_codec.h"

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

// The shipped files fill in all ten loader messages with the placeholders the loader uses.
TEST(MessageFile, ShippedFilesAreComplete) {
    for (const char *Name : {"en.txt", "zh_CN.txt"}) {
        SCOPED_TRACE(Name);
        TMessageFile F = LoadMessageFile(std::string(QUOV_MESSAGES_DIR) + "/" + Name);
        EXPECT_TRUE(F.Warnings.empty()) << F.Warnings[0];
        EXPECT_NE(F.Messages[MsgStartupPrompt].find("%1"), std::string::npos);
        EXPECT_NE(F.Messages[MsgCreateDirFailed].find("%1"), std::string::npos);
        EXPECT_NE(F.Messages[MsgDirFull].find("%1"), std::string::npos);
        for (const char *P : {"%1", "%2", "%3"})
            EXPECT_NE(F.Messages[MsgSystemErrorFormat].find(P), std::string::npos) << P;
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
