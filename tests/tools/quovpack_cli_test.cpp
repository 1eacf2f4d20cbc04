// The quovpack command itself: exit codes, output, and agreement of inspect --json and verify
// with the reading library.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include "tools/package_reader.h"
#include "test_stub.h"

namespace {

struct TRun {
    int ExitCode = -1;
    std::string Out;
};

TRun Quovpack(const std::string &Args, const std::string &Environment = "") {
    TRun Run;
    std::string Command = Environment + " '" + QUOVPACK_EXE + "' " + Args + " 2>/dev/null";
    FILE *Pipe = ::popen(Command.c_str(), "r");
    if (!Pipe)
        return Run;
    char Buffer[4096];
    size_t N;
    while ((N = std::fread(Buffer, 1, sizeof(Buffer), Pipe)) > 0)
        Run.Out.append(Buffer, N);
    int Status = ::pclose(Pipe);
    Run.ExitCode = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    return Run;
}

std::string Q(const std::string &Path) { return "'" + Path + "'"; }

class QuovpackCli : public ::testing::Test {
protected:
    void SetUp() override {
        std::string Stub = ReadFileBytes(QUOV_STUB);
        if (Stub.empty()) // the real loader when it has been built, else a generated stub
            WriteFileBytes(Dir / "stub.exe", BuildTestStub());
        else
            WriteFileBytes(Dir / "stub.exe", Stub);
        std::string Program(30000, 'p');
        for (size_t I = 0; I < Program.size(); I += 11)
            Program[I] = '\xE8';
        WriteFileBytes(Dir / "program.exe", RunnableProgram(Program));
        PackArgs = "pack --stub " + Q(Dir / "stub.exe") + " --program " + Q(Dir / "program.exe") +
                   " --name 'Demo' --lang '" QUOV_MESSAGES_DIR "/en.txt' --lang='" QUOV_MESSAGES_DIR
                   "/zh_CN.txt' --detect none";
    }

    TScratchDir Dir;
    std::string PackArgs;
};

TEST_F(QuovpackCli, HelpAndUsage) {
    for (const char *Command : {"--help", "pack --help", "inspect --help", "verify --help",
                                "extract -h"}) {
        SCOPED_TRACE(Command);
        TRun Run = Quovpack(Command);
        EXPECT_EQ(Run.ExitCode, 0);
        EXPECT_NE(Run.Out.find("usage: quovpack"), std::string::npos);
        EXPECT_NE(Run.Out.find("xit codes"), std::string::npos);
    }
    for (const char *Bad : {"", "frobnicate", "pack --stub", "pack --stub x --program y",
                            "inspect", "inspect a b", "verify --jsn x", "pack --detect=x"}) {
        SCOPED_TRACE(Bad);
        EXPECT_EQ(Quovpack(Bad).ExitCode, 2);
    }
}

TEST_F(QuovpackCli, PackVerifyInspectExtract) {
    const std::string Out = Dir / "setup.exe";
    TRun Pack = Quovpack(PackArgs + " -o " + Q(Out));
    ASSERT_EQ(Pack.ExitCode, 0) << Pack.Out;

    TRun Verify = Quovpack("verify " + Q(Out));
    EXPECT_EQ(Verify.ExitCode, 0);
    EXPECT_NE(Verify.Out.find(": OK:"), std::string::npos) << Verify.Out;
    // A folder for temporary files that cannot be used is no fault of the package.
    EXPECT_EQ(Quovpack("verify " + Q(Out), "TMPDIR=" + Q(Dir / "missing/tmp")).ExitCode, 0);

    TRun Json = Quovpack("inspect --json " + Q(Out));
    EXPECT_EQ(Json.ExitCode, 0);
    TPackageReport R = ReadPackage(Out, false);
    for (const std::string &Field : std::vector<std::string>{
             "\"accepted\": true", "\"detect_mode\": \"none\"", "\"application_name\": \"Demo\"",
          "\"name\": \"Chinese\", \"langid\": 2052, \"codepage\": 936",
          "\"min_file_size\": " + std::to_string(R.Table.MinFileSize),
          "\"setup_program_crc\": " + std::to_string(R.Table.SetupProgramCRC),
          "\"second_data_offset\": " + std::to_string(R.Table.SecondDataOffset), "\"valid\": true"})
        EXPECT_NE(Json.Out.find(Field), std::string::npos) << Field << "\n" << Json.Out;

    EXPECT_EQ(Quovpack("extract " + Q(Out) + " -o " + Q(Dir / "x.exe")).ExitCode, 0);
    EXPECT_TRUE(ReadFileBytes(Dir / "x.exe") == ReadFileBytes(Dir / "program.exe"));
}

TEST_F(QuovpackCli, DamagedFilesAreReportedAsTheReaderSeesThem) {
    const std::string Out = Dir / "setup.exe";
    ASSERT_EQ(Quovpack(PackArgs + " -o " + Q(Out)).ExitCode, 0);
    const std::string Good = ReadFileBytes(Out);
    TPackageReport R = ReadPackage(Out, false);

    struct {
        const char *Name;
        std::string Bytes;
    } Cases[] = {
        {"truncated", Good.substr(0, Good.size() - 100)},
        {"flipped in the records", Good},
        {"flipped in the program", Good},
    };
    Cases[1].Bytes[R.RecordsBlock.Offset + 30] ^= 1;
    Cases[2].Bytes[R.ProgramBlock.Offset + 40] ^= 1;
    for (auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        const std::string Damaged = Dir / "damaged.exe";
        WriteFileBytes(Damaged, C.Bytes);
        TPackageReport Quick = ReadPackage(Damaged, false);
        TPackageReport Full = ReadPackage(Damaged, true);
        ASSERT_FALSE(Full.Fault.empty());

        TRun Verify = Quovpack("verify " + Q(Damaged));
        EXPECT_EQ(Verify.ExitCode, 1);
        EXPECT_EQ(Verify.Out, Damaged + ": FAULT: " + Full.Fault + "\n");

        TRun Json = Quovpack("inspect --json " + Q(Damaged));
        EXPECT_EQ(Json.ExitCode, Quick.Fault.empty() ? 0 : 1);
        EXPECT_NE(Json.Out.find(Quick.Fault.empty() ? "\"accepted\": true" : "\"accepted\": false"),
                  std::string::npos);

        EXPECT_EQ(Quovpack("extract " + Q(Damaged) + " -o " + Q(Dir / "x.exe")).ExitCode, 1);
        EXPECT_FALSE(FileExists(Dir / "x.exe"));
    }
}

// A file name that is not UTF-8 still gives JSON that parses, with the exact bytes beside it.
TEST_F(QuovpackCli, JsonParsesWhateverTheFileName) {
    if (std::system("python3 -c '' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3 is needed to parse the JSON";
    const std::string Out = Dir / "setup-\xFF\xFE.exe";
    ASSERT_EQ(Quovpack(PackArgs + " -o" + Q(Out)).ExitCode, 0);
    const std::string Parse = " | python3 -c 'import json, sys; d = json.load(sys.stdin); "
                              "print(d[\"json_format_version\"], d[\"accepted\"], d[\"file_hex\"])'";
    for (const char *Command : {"inspect --json ", "verify --json "}) {
        SCOPED_TRACE(Command);
        TRun Run = Quovpack(Command + Q(Out) + Parse);
        EXPECT_EQ(Run.ExitCode, 0);
        EXPECT_NE(Run.Out.find("1 True "), std::string::npos) << Run.Out;
        EXPECT_NE(Run.Out.find("2dfffe2e657865\n"), std::string::npos) << Run.Out;
    }
}

TEST_F(QuovpackCli, RefusedInputsExitWithThreeAndWriteNothing) {
    WriteFileBytes(Dir / "bad.txt", std::string("name = X\nlangid = 1\ncodepage = 0\n207 = y\n"));
    const std::string Out = Dir / "setup.exe";
    EXPECT_EQ(Quovpack(PackArgs + " --lang " + Q(Dir / "bad.txt") + " -o " + Q(Out)).ExitCode, 3);
    EXPECT_EQ(Quovpack(PackArgs + " --second-data " + Q(Dir / "none") + " -o " + Q(Out)).ExitCode,
              3);
    EXPECT_FALSE(FileExists(Out));
    EXPECT_EQ(Quovpack("verify " + Q(Dir / "none.exe")).ExitCode, 3);
    EXPECT_EQ(Quovpack(PackArgs + " -o " + Q(Dir / "missing/setup.exe")).ExitCode, 4);
}

} // namespace

// Signing while packing: the output appears only signed, accepted and matching its signature;
// a detached signature attached to a fresh build of the same inputs gives the same file.
TEST_F(QuovpackCli, SignCommand) {
    const std::string Sign = MakeTestSigner(Dir);
    if (Sign.empty())
        GTEST_SKIP() << "openssl and osslsigncode are needed to sign";
    const std::string Out = Dir / "setup.exe";
    const struct {
        const char *Name;
        std::string Command;
        int ExitCode;
    } Cases[] = {
        {"the command fails", "false", 4},
        {"the command signs nothing", "true", 4},
        {"signed, then changed", Sign + " && printf x >> %1", 4},
        {"signed, then cut", Sign + " && truncate -s 4096 %1", 4},
        {"signed", Sign, 0}, // last: the file the checks below read
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        std::remove(Out.c_str());
        TRun Pack = Quovpack(PackArgs + " -o " + Q(Out) + " --sign-command " + Q(C.Command));
        EXPECT_EQ(Pack.ExitCode, C.ExitCode);
        EXPECT_EQ(FileExists(Out), C.ExitCode == 0);
        for (const std::string &Name : Dir.List())
            EXPECT_EQ(Name.find(".tmp-"), std::string::npos) << Name;
    }
    TRun Verify = Quovpack("verify " + Q(Out));
    EXPECT_EQ(Verify.ExitCode, 0);
    EXPECT_NE(Verify.Out.find("; signed, SHA256 image hash matches, signer CN = Quov Test Signer"),
              std::string::npos)
        << Verify.Out;
    EXPECT_EQ(std::system(("osslsigncode verify -CAfile " + Q(Dir / "cert.pem") + " -in " + Q(Out) +
                           " >/dev/null 2>&1")
                              .c_str()),
              0);
    TRun Json = Quovpack("inspect --json " + Q(Out));
    EXPECT_NE(Json.Out.find("\"signature\": {\"present\": true"), std::string::npos) << Json.Out;
    EXPECT_NE(Json.Out.find("\"matches\": true, \"signature_valid\": true"), std::string::npos);

    const std::string Fresh = Dir / "fresh.exe", Attached = Dir / "attached.exe";
    ASSERT_EQ(Quovpack(PackArgs + " -o " + Q(Fresh)).ExitCode, 0);
    EXPECT_NE(Quovpack("verify " + Q(Fresh)).Out.find("; not signed"), std::string::npos);
    std::system(("osslsigncode extract-signature -in " + Q(Out) + " -out " + Q(Dir / "sig.der") +
                 " >/dev/null 2>&1 && osslsigncode attach-signature -CAfile " +
                 Q(Dir / "cert.pem") + " -sigin " + Q(Dir / "sig.der") + " -in " + Q(Fresh) +
                 " -out " + Q(Attached) + " >/dev/null 2>&1")
                    .c_str());
    EXPECT_TRUE(ReadFileBytes(Attached) == ReadFileBytes(Out));
    EXPECT_FALSE(ReadFileBytes(Attached).empty());

    std::string Changed = ReadFileBytes(Out);
    Changed[Changed.size() / 3] ^= 1; // the setup data, before the certificate table
    WriteFileBytes(Dir / "changed.exe", Changed);
    Verify = Quovpack("verify " + Q(Dir / "changed.exe"));
    EXPECT_EQ(Verify.ExitCode, 1);
    EXPECT_NE(Verify.Out.find(": FAULT: "), std::string::npos) << Verify.Out;
}
