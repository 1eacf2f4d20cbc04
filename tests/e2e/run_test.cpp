// Whole runs of packaged loaders: the startup prompt, the options that skip it, the setup
// program's command line and exit code, language choice and requests, and the failures after
// the records were read. Runs under an English locale (code page 1252, LANGID 0x409).
#include <gtest/gtest.h>

#include <cstring>

#include "records/messages.h"
#include "setupdata/block_format.h"
#include "support/error_text.h"
#include "tests/e2e/case_texts.h"
#include "tests/e2e/harness.h"

namespace {

using E2E::TCaseLanguage;

TLoaderRun PackageRun(const char *Package, const std::string &Parameters,
                      std::vector<int> Answers = {}) {
    TLoaderRun Run;
    Run.LoaderPath = CasesDirectory() + Package;
    Run.Parameters = Parameters;
    Run.Answers = std::move(Answers);
    return Run;
}

TMessageBox PromptOf(const TCaseLanguage &Language) {
    return {Language.SetupCaption, E2E::PromptText(Language)};
}

void ExpectBoxes(const TLoaderResult &Result, const std::vector<TMessageBox> &Expected) {
    ASSERT_EQ(Result.Boxes.size(), Expected.size());
    for (size_t I = 0; I < Expected.size(); ++I) {
        SCOPED_TRACE("box " + std::to_string(I));
        EXPECT_EQ(Result.Boxes[I].Caption, Expected[I].Caption);
        EXPECT_EQ(Result.Boxes[I].Text, Expected[I].Text);
    }
}

void ExpectCleanFinish(const TLoaderResult &Result, DWORD ExitCode) {
    ASSERT_TRUE(Result.Finished) << "the loader did not end in time";
    EXPECT_EQ(Result.ExitCode, ExitCode);
    for (const std::string &Name : Result.TempLeftovers)
        ADD_FAILURE() << "left in TMP: " << Name;
}

// Message 96 as the loader builds it around an operation's text and a Win32 error code.
std::string SystemErrorBoxText(const TCaseLanguage &Language, const std::string &Operation,
                               DWORD Code) {
    std::string Args[3] = {Operation, std::to_string(static_cast<int32_t>(Code)),
                           SystemErrorText(Code)};
    return TerminateSentence(FormatPattern(Language.SystemError, Args, 3));
}

} // namespace

TEST(Run, PromptAnsweredYesRunsTheSetupProgram) {
    TLoaderResult Result = RunLoader("prompt_yes", PackageRun("good.exe", "", {IDYES}));
    ExpectCleanFinish(Result, 0);
    ExpectBoxes(Result, {PromptOf(E2E::English)});
    EXPECT_EQ(ReportValue(Result.ChildReport, "window"), "QuovSetupLdrWindow");
}

TEST(Run, PromptAnsweredNoEndsWithTwoAndNothingLeft) {
    TLoaderResult Result = RunLoader("prompt_no", PackageRun("good.exe", "", {IDNO}));
    ExpectCleanFinish(Result, 2);
    ExpectBoxes(Result, {PromptOf(E2E::English)});
    EXPECT_TRUE(Result.ChildReport.empty());
}

TEST(Run, OptionsAndHeaderBitDecideThePrompt) {
    struct {
        const char *Package;
        const char *Parameters;
        bool Prompt;
    } Cases[] = {
        {"good.exe", "/SP-", false},          {"good.exe", "/sp-", false},
        {"good.exe", "\"/Sp-\"", false},      {"good.exe", "/SPAWNWND=1", false},
        {"no_prompt_bit.exe", "", false},     {"good.exe", "/SP", true},
        {"good.exe", "/SP--", true},          {"good.exe", "/SPAWNWND", true},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(std::string(Case.Package) + " " + Case.Parameters);
        TLoaderResult Result =
            RunLoader("prompt_options", PackageRun(Case.Package, Case.Parameters, {IDNO}));
        if (Case.Prompt) {
            ExpectCleanFinish(Result, 2);
            ExpectBoxes(Result, {PromptOf(E2E::English)});
        } else {
            ExpectCleanFinish(Result, 0);
            ExpectBoxes(Result, {});
            EXPECT_FALSE(Result.ChildReport.empty());
        }
    }
}

// quovpack's largest dictionary (64 MiB, stored as such) and a match 50 MB back, in a 52 MB
// program: the loader decodes it intact (it checks the CRC) and runs it, whether it decodes after
// the startup question (skipped) or while the question is up. The answer comes while that
// decoding still runs (100 ms in) or after it has ended (4 s in); No gives it up at once and
// leaves nothing.
TEST(Run, LargestDictionaryRoundTrips) {
    const std::string Path = CasesDirectory() + "dictionary_64m.exe";
    TPackageBytes Package = LoadPackage(Path);
    ASSERT_NE(Package.TableOffset, std::string::npos) << Path;
    // Behind the block header (9 bytes) and the first chunk's CRC: the LZMA properties byte
    // and the dictionary size.
    const size_t Stream = Package.Table().SetupProgramOffset + 9 + 4;
    ASSERT_LT(Stream + 5, Package.Bytes.size());
    uint32_t Dictionary = 0;
    std::memcpy(&Dictionary, &Package.Bytes[Stream + 1], 4);
    EXPECT_EQ(Dictionary, 64u << 20);
    std::string().swap(Package.Bytes);

    const struct {
        const char *Name;
        const char *Parameters;
        int Answer; // 0: no question
        DWORD AnswerAfterMs;
        DWORD ExitCode;
    } Cases[] = {
        {"no question", "/SP-", 0, 0, 0},
        {"Yes while decoding", "", IDYES, 100, 0},
        {"Yes once decoded", "", IDYES, 4000, 0},
        {"No while decoding", "", IDNO, 100, 2},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TLoaderRun Run = PackageRun("dictionary_64m.exe", Case.Parameters);
        Run.TimeoutMs = 120000;
        if (Case.Answer) {
            Run.Answers = {Case.Answer};
            Run.BeforeAnswer = [&](const TMessageBox &) { ::Sleep(Case.AnswerAfterMs); };
        }
        TLoaderResult Result = RunLoader("largest_dictionary", Run);
        ExpectCleanFinish(Result, Case.ExitCode);
        ASSERT_EQ(Result.Boxes.size(), Case.Answer ? 1u : 0u);
        if (Case.Answer)
            EXPECT_NE(Result.Boxes[0].Text.find("Dictionary Test"), std::string::npos);
        EXPECT_EQ(Result.ChildReport.empty(), Case.ExitCode != 0);
    }
}

TEST(Run, SetupProgramExitCodeIsPassedOn) {
    for (DWORD Code : {0u, 5u, 0xC0000005u}) {
        SCOPED_TRACE(Code);
        TLoaderRun Run = PackageRun("good.exe", "/SP-");
        Run.Environment = {{"QUOV_E2E_EXIT", std::to_string(Code)}};
        TLoaderResult Result = RunLoader("exit_code", Run);
        ExpectCleanFinish(Result, Code);
        ExpectBoxes(Result, {});
    }
}

TEST(Run, SetupProgramGetsItsCommandLineByteForByte) {
    TPackageBytes Package = LoadPackage(CasesDirectory() + "good.exe");
    TLoaderOffsetTable Table = Package.Table();
    struct {
        const char *Tail;     // what follows the loader's quoted path
        const char *Expected; // the command tail the setup program must see
        const char *Language; // the index the setup program's library names
    } Cases[] = {
        {" /SP- \"quoted tail\" b", "/SP- \"quoted tail\" b", "0"},
        {"   /SP-   odd\tspacing  ", "/SP-   odd\tspacing  ", "0"},
        {" /SPAWNWND=12", "/SPAWNWND=12", "0"},
        {" /SP- \"/lang=Chinese\"", "/SP- \"/lang=Chinese\"", "1"},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Tail);
        TLoaderRun Run;
        Run.LoaderPath = CasesDirectory() + "good.exe";
        Run.UseRawCommandLine = true;
        Run.RawCommandLine = "\"" + Run.LoaderPath + "\"" + Case.Tail;
        Run.Environment = {{"QUOV_E2E_CHECKDATA", "1"}};
        TLoaderResult Result = RunLoader("command_line", Run);
        ExpectCleanFinish(Result, 0);
        std::string Module = ReportValue(Result.ChildReport, "module");
        std::string CommandLine = ReportValue(Result.ChildReport, "cmdline");
        // The program is <TMP>\is-XXXXX.tmp\good.tmp.
        ASSERT_GT(Module.size(), 22u);
        EXPECT_EQ(Module.substr(Module.size() - 9), "\\good.tmp");
        EXPECT_EQ(Module.substr(Module.size() - 22, 4), "\\is-");
        EXPECT_EQ(Module.substr(Module.size() - 13, 4), ".tmp");
        std::string Prefix = "\"" + Module + "\" /SL5=\"$";
        ASSERT_EQ(CommandLine.compare(0, Prefix.size(), Prefix), 0) << CommandLine;
        size_t Comma = CommandLine.find(',', Prefix.size());
        ASSERT_NE(Comma, std::string::npos);
        std::string Handle = CommandLine.substr(Prefix.size(), Comma - Prefix.size());
        EXPECT_EQ(Handle.find_first_not_of("0123456789ABCDEF"), std::string::npos) << Handle;
        EXPECT_NE(Handle[0], '0');
        std::string Rest = "," + std::to_string(static_cast<int32_t>(Table.SetupDataOffset)) +
                           "," + std::to_string(static_cast<int32_t>(Table.SecondDataOffset)) +
                           "," + Run.LoaderPath + "\" " + Case.Expected;
        EXPECT_EQ(CommandLine.substr(Comma), Rest);
        EXPECT_EQ(ReportValue(Result.ChildReport, "window"), "QuovSetupLdrWindow");
        EXPECT_EQ(ReportValue(Result.ChildReport, "queryend"), "0");
        EXPECT_EQ(ReportValue(Result.ChildReport, "setupdata"), "signature ok");
        EXPECT_EQ(ReportValue(Result.ChildReport, "second"), "inside");
        EXPECT_EQ(ReportValue(Result.ChildReport, "library"), "");
        EXPECT_EQ(ReportValue(Result.ChildReport, "language"), Case.Language);
        EXPECT_EQ(ReportValue(Result.ChildReport, "setuparea"), E2E::TrailingSetupData);
        EXPECT_EQ(ReportValue(Result.ChildReport, "secondarea"), E2E::SecondDataArea);
    }
}

TEST(Run, EmptyTailEndsInQuoteAndBlank) {
    TLoaderRun Run;
    Run.LoaderPath = CasesDirectory() + "no_prompt_bit.exe";
    TLoaderResult Result = RunLoader("empty_tail", Run);
    ExpectCleanFinish(Result, 0);
    std::string CommandLine = ReportValue(Result.ChildReport, "cmdline");
    std::string Ending = "," + Run.LoaderPath + "\" ";
    ASSERT_GE(CommandLine.size(), Ending.size());
    EXPECT_EQ(CommandLine.substr(CommandLine.size() - Ending.size()), Ending);
}

TEST(Run, LangOptionPicksByNameInAnyCaseAndFallsBack) {
    struct {
        const char *Package;
        const char *Parameters;
        const TCaseLanguage *Expected;
    } Cases[] = {
        // The Chinese entry wants code page 936; a match by name does not look at that.
        {"good.exe", "/LANG=CHINESE", &E2E::Chinese},
        {"good.exe", "/lang=Chinese", &E2E::Chinese},
        {"good.exe", "/Lang=chinese /Lang=english", &E2E::English},
        {"good.exe", "/Lang=klingon", &E2E::English},
        {"good.exe", "/Lang=", &E2E::English},
        {"detect_none.exe", "", &E2E::Chinese},
        {"detect_none.exe", "/Lang=English", &E2E::English},
        {"detect_mixed.exe", "", &E2E::English1252},
        {"detect_primary.exe", "", &E2E::English},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(std::string(Case.Package) + " " + Case.Parameters);
        TLoaderResult Result =
            RunLoader("lang_option", PackageRun(Case.Package, Case.Parameters, {IDNO}));
        ExpectCleanFinish(Result, 2);
        ExpectBoxes(Result, {PromptOf(*Case.Expected)});
    }
}

TEST(Run, LanguageRequestTakesEffectAfterTheSetupProgram) {
    // Entry 1 of this package has a damaged message block, so the request for it fails after
    // the setup program ended: the error shows in the still active language and the exit code
    // stays the setup program's. A request for entry 0 (active already) changes nothing.
    struct {
        const char *Requests;
        bool Post;
        bool Fails;
    } Cases[] = {{"1", false, true}, {"1", true, true}, {"1,0", false, false},
                 {"0", true, false}, {"-1", false, false}, {"7", false, false}};
    for (const auto &Case : Cases) {
        SCOPED_TRACE(std::string(Case.Requests) + (Case.Post ? " posted" : " sent"));
        TLoaderRun Run = PackageRun("damaged_second_language.exe", "/SP-", {IDOK});
        Run.Environment = {{"QUOV_E2E_EXIT", "7"},
                           {"QUOV_E2E_LANG", Case.Requests},
                           {"QUOV_E2E_LANG_POST", Case.Post ? "1" : "0"}};
        TLoaderResult Result = RunLoader("lang_request", Run);
        ExpectCleanFinish(Result, 7);
        if (Case.Fails)
            ExpectBoxes(Result, {{E2E::English.ErrorCaption, ShownCorruptText()}});
        else
            ExpectBoxes(Result, {});
    }
}

TEST(Run, ProgramThatCannotStartReportsTheSystemError) {
    TLoaderResult Result =
        RunLoader("not_a_program", PackageRun("not_a_program.exe", "/SP-", {IDOK}));
    ExpectCleanFinish(Result, 1);
    ASSERT_EQ(Result.Boxes.size(), 1u);
    EXPECT_EQ(Result.Boxes[0].Caption, E2E::English.ErrorCaption);
    // The code is the system's choice (a bad executable format); the text must be message 96
    // around message 98 with that code and its system text.
    const std::string &Text = Result.Boxes[0].Text;
    std::string Head = std::string(E2E::English.ChildStartFailed) + "\r\n\r\nEN error ";
    ASSERT_EQ(Text.compare(0, Head.size(), Head), 0) << Text;
    DWORD Code = std::stoul(Text.substr(Head.size()));
    EXPECT_NE(Code, 0u);
    EXPECT_EQ(Text, SystemErrorBoxText(E2E::English, E2E::English.ChildStartFailed, Code));
}

// A damaged program is reported after the startup question, with the same box whether it was
// decoded while the question was up or after it.
TEST(Run, BadProgramIsCorruptSetupInTheActiveLanguage) {
    const TPackageBytes Good = LoadPackage(CasesDirectory() + "good.exe");
    const struct {
        const char *Name;
        const char *Parameters;
        bool FlipChunkByte; // otherwise the table's program CRC is wrong
    } Cases[] = {
        {"CRC, no question", "/SP-", false},
        {"CRC, question", "", false},
        {"chunk, question", "", true},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TPackageBytes Package = Good;
        TLoaderOffsetTable Table = Package.Table();
        if (Case.FlipChunkByte) // inside the first chunk's data, behind its CRC
            Package.Bytes[Table.SetupProgramOffset + BlockHeaderSize + BlockChunkCrcSize + 100] ^=
                0x40;
        else
            Table.SetupProgramCRC ^= 1;
        Package.SetTable(Table, /*Reseal=*/true);
        TLoaderRun Run;
        Run.LoaderPath = PrepareWorkDirectory("bad_program-file") + "setup.exe";
        WriteWholeFile(Run.LoaderPath, Package.Bytes);
        Run.Parameters = Case.Parameters;
        const TMessageBox Corrupt = {E2E::English.ErrorCaption,
                                     TerminateSentence(E2E::English.CorruptData)};
        std::vector<TMessageBox> Expected = {Corrupt};
        if (*Case.Parameters) {
            Run.Answers = {IDOK};
        } else {
            // Answered once the decoding has met the damage.
            Run.Answers = {IDYES, IDOK};
            Run.BeforeAnswer = [](const TMessageBox &) { ::Sleep(500); };
            Expected.insert(Expected.begin(), PromptOf(E2E::English));
        }
        TLoaderResult Result = RunLoader("bad_program", Run);
        ExpectCleanFinish(Result, 1);
        ExpectBoxes(Result, Expected);
        EXPECT_TRUE(Result.ChildReport.empty());
    }
}
