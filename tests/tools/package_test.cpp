#include "tools/package_builder.h"
#include "tools/package_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>

#include "records/messages.h"
#include "records/setup_package.h"
#include "setupdata/file.h"
#include "tools/default_languages.h"
#include "tools/file_tree_packer.h"
#include "test_stub.h"

namespace {

const char English[] = "name = English\nlangid = 0x0409\ncodepage = 0\n"
                       "StartupPrompt = Install %1?\nCorruptSetupData = Damaged.\n";
const char Chinese[] = "name = Chinese\nlangid = 0x0804\ncodepage = 936\n"
                       "StartupPrompt = \xE5\xAE\x89\xE8\xA3\x85 %1\n";

// A program with many call and jump opcodes, so that the transform has work to do.
std::string TestProgram(size_t Size) {
    std::string P(Size, '\0');
    uint32_t X = 12345;
    for (size_t I = 0; I < Size; ++I) {
        X = X * 1103515245u + 12345u;
        P[I] = static_cast<char>(X >> 24);
        if (I % 37 == 0)
            P[I] = '\xE8';
        if (I % 53 == 0 && I + 4 < Size)
            P[I + 4] = '\0';
    }
    return P;
}

struct TFixture {
    TScratchDir Dir;
    TPackOptions Options;
    std::string Program = RunnableProgram(TestProgram(50000));

    TFixture() {
        WriteFileBytes(Dir / "stub.exe", BuildTestStub());
        WriteFileBytes(Dir / "program.exe", Program);
        WriteFileBytes(Dir / "en.txt", std::string(English));
        WriteFileBytes(Dir / "zh.txt", std::string(Chinese));
        WriteFileBytes(Dir / "second.bin", std::string("SECOND"));
        WriteFileBytes(Dir / "setup.bin", std::string("SETUPDATA"));
        Options.StubPath = Dir / "stub.exe";
        Options.ProgramPath = Dir / "program.exe";
        Options.ApplicationName = "\xE6\xBC\x94\xE7\xA4\xBA App"; // "演示 App"
        Options.LanguagePaths = {Dir / "en.txt", Dir / "zh.txt"};
        Options.DetectMode = 1;
        Options.NoStartupPrompt = true;
        Options.SecondDataPath = Dir / "second.bin";
        Options.SetupDataPath = Dir / "setup.bin";
        Options.OutputPath = Dir / "out.exe";
    }
};

TEST(Package, RoundTripThroughTheLoaderReader) {
    TFixture F;
    TPackResult Result = PackInstaller(F.Options);
    std::string Out = ReadFileBytes(F.Options.OutputPath);
    const TLoaderOffsetTable &T = Result.Table;
    // Zeros behind the recorded length bring the file to 8 bytes, where a signer appends.
    EXPECT_EQ(Out.size() % 8, 0u);
    EXPECT_LT(Out.size() - T.MinFileSize, 8u);
    EXPECT_EQ(Out.find_last_not_of('\0') < T.MinFileSize, true);
    EXPECT_EQ(T.SecondDataOffset, 0x400u);
    EXPECT_EQ(Out.substr(T.SecondDataOffset, 6), "SECOND");
    EXPECT_EQ(T.SetupDataOffset, 0x406u);
    EXPECT_EQ(Out.substr(T.SetupProgramOffset - 9, 9), "SETUPDATA");
    EXPECT_EQ(T.SetupProgramSize, F.Program.size());

    TPackageReport R = ReadPackage(F.Options.OutputPath, /*DecodeProgram=*/true);
    EXPECT_EQ(R.Fault, "");
    EXPECT_TRUE(R.ProgramValid);
    EXPECT_EQ(R.ApplicationName, "\xD1\xDD\xCA\xBE App"); // code page 936 of the first CJK language
    EXPECT_EQ(R.DetectMode, 1);
    EXPECT_TRUE(R.NoStartupPrompt);
    ASSERT_EQ(R.Languages.size(), 2u);
    EXPECT_EQ(R.Languages[0].Name, "English");
    EXPECT_EQ(R.Languages[1].LanguageId, 0x804u);
    EXPECT_EQ(R.Languages[1].CodePage, 936u);
    EXPECT_TRUE(R.Languages[1].MessageBlockValid);
    EXPECT_EQ(R.ProgramBlock.End(), T.MinFileSize);
    // The PE checksum covers the finished file.
    EXPECT_EQ(R.Pe.StoredChecksum, R.ComputedChecksum);
    EXPECT_EQ(R.Pe.StoredChecksum, Result.PeChecksum);

    // The texts arrive as the loader will show them: code page 936 bytes for Chinese.
    TFile File(F.Options.OutputPath, fcOpenExisting, amRead, smRead);
    File.Seek(T.SetupDataOffset + 64);
    TSetupHeaderRec Header;
    std::vector<TSetupLanguageEntry> Entries;
    ReadSetupRecords(File, Header, Entries);
    ASSERT_EQ(Entries.size(), 2u);
    LoadMessageBlock(Entries[1].MessageBlock().data(), Entries[1].MessageBlock().size());
    EXPECT_EQ(LoaderMessages[MsgStartupPrompt], "\xB0\xB2\xD7\xB0 %1");
    LoadMessageBlock(Entries[0].MessageBlock().data(), Entries[0].MessageBlock().size());
    EXPECT_EQ(LoaderMessages[MsgCorruptSetupData], "Damaged.");
    ClearLoaderMessages();
}

TEST(Package, ExtractGivesTheProgramBack) {
    TFixture F;
    PackInstaller(F.Options);
    ExtractProgram(F.Options.OutputPath, F.Dir / "extracted.exe");
    EXPECT_TRUE(ReadFileBytes(F.Dir / "extracted.exe") == F.Program);
}

// The loader's x86-64 build packs like the shipped one, and the author is told that such an
// installer needs 64-bit Windows; the shipped loader draws no such warning.
TEST(Package, SixtyFourBitStubPacksWithAWarning) {
    for (uint16_t Machine : {uint16_t(0x14C), uint16_t(0x8664)}) {
        SCOPED_TRACE(Machine);
        TFixture F;
        WriteFileBytes(F.Options.StubPath, BuildTestStub(44, 11111, Machine));
        bool Warned = false;
        for (const std::string &W : PackInstaller(F.Options).Warnings)
            Warned |= W.find("only on 64-bit Windows") != std::string::npos;
        EXPECT_EQ(Warned, Machine == 0x8664);
        ExtractProgram(F.Options.OutputPath, F.Dir / "extracted.exe");
        EXPECT_TRUE(ReadFileBytes(F.Dir / "extracted.exe") == F.Program);
    }
}

TEST(Package, SameInputsGiveTheSameBytes) {
    TFixture F;
    PackInstaller(F.Options);
    std::string First = ReadFileBytes(F.Options.OutputPath);
    F.Options.OutputPath = F.Dir / "again.exe";
    PackInstaller(F.Options);
    EXPECT_TRUE(First == ReadFileBytes(F.Options.OutputPath));
}

// Every refusal leaves the directory as it was: no output, no temporary file.
TEST(Package, RefusalsWriteNothing) {
    struct {
        const char *Name;
        std::function<void(TFixture &)> Change;
    } Cases[] = {
        {"stub without slot",
         [](TFixture &F) { WriteFileBytes(F.Options.StubPath, BuildTestStub(44, 1)); }},
        {"slot of 43 bytes",
         [](TFixture &F) { WriteFileBytes(F.Options.StubPath, BuildTestStub(43)); }},
        {"message number 207",
         [](TFixture &F) { WriteFileBytes(F.Dir / "en.txt", std::string(English) + "207 = x\n"); }},
        {"Chinese text in a code page 0 language",
         [](TFixture &F) {
             WriteFileBytes(F.Dir / "en.txt", std::string(English) + "5 = \xE5\xAE\x89\n");
         }},
        {"missing program", [](TFixture &F) { F.Options.ProgramPath = F.Dir / "none.exe"; }},
        {"missing message file",
         [](TFixture &F) { F.Options.LanguagePaths.push_back(F.Dir / "none.txt"); }},
        {"name not in code page 936",
         [](TFixture &F) { F.Options.ApplicationName = "\xE2\x98\x83"; }},
        {"output directory missing",
         [](TFixture &F) { F.Options.OutputPath = F.Dir / "no/such/dir.exe"; }},
        {"a text file as the program",
         [](TFixture &F) { WriteFileBytes(F.Options.ProgramPath, std::string("setup /S\n")); }},
    };
    for (auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        TFixture F;
        C.Change(F);
        std::vector<std::string> Before = F.Dir.List();
        EXPECT_THROW(PackInstaller(F.Options), Exception);
        EXPECT_EQ(F.Dir.List(), Before);
    }
}

// The loader shows the stored name's bytes in every language: a language whose code page shows
// them as other text is named, with the file that chose the stored code page. --werror stops
// packing before anything is written.
TEST(Package, ApplicationNameShownWronglyIsNamed) {
    const std::string Strasse = "Stra\xC3\x9F" "en-Planer";
    struct {
        const char *Name;
        std::string ApplicationName;
        std::vector<std::string> Languages;
        std::vector<std::string> Expected; // parts of the warning; none: no warning
    } Cases[] = {
        {"German name, Chinese prompt", Strasse, {"en.txt", "de.txt", "zh.txt"},
         {"stored in code page 1252, chosen by ", "de.txt (the first --lang",
          "Chinese (", "code page 936) shows it as \"Stra\xE9\x81\x9D" "n-Planer\""}},
        {"German name, German and English", Strasse, {"en.txt", "de.txt"}, {}},
        {"ASCII name", "Demo", {"de.txt", "zh.txt"}, {}},
        // Every shipped language ("all"): an ASCII name shows right in each, 932's backslash
        // and tilde included; a German one is named wrongly in the other scripts.
        {"ASCII name, every default language", "C:\\Demo~Tools", {"all"}, {}},
        {"German name first, then every default language", Strasse, {"de.txt", "all"},
         {"chosen by ", "de.txt (the first --lang", "Japanese (", "Greek (", "Arabic ("}},
    };
    for (auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        TFixture F;
        WriteFileBytes(F.Dir / "de.txt", std::string("name = Deutsch\nlangid = 0x0407\ncodepage = 1252\n"));
        F.Options.ApplicationName = C.ApplicationName;
        F.Options.LanguagePaths.clear();
        for (const std::string &L : C.Languages)
            for (const std::string &Path :
                 L == "all" ? ResolveLanguageValues({L}, QUOV_MESSAGES_DIR)
                            : std::vector<std::string>{F.Dir / L})
                F.Options.LanguagePaths.push_back(Path);
        std::string Warning;
        for (const std::string &W : PackInstaller(F.Options).Warnings)
            if (W.find("application name") != std::string::npos)
                Warning = W;
        EXPECT_EQ(Warning.empty(), C.Expected.empty()) << Warning;
        for (const std::string &Part : C.Expected)
            EXPECT_NE(Warning.find(Part), std::string::npos) << Part << "\n" << Warning;
    }
    TFixture F;
    F.Options.WarningsAreErrors = true;
    EXPECT_THROW(PackInstaller(F.Options), EPackWarnings);
    EXPECT_FALSE(FileExists(F.Options.OutputPath));
}

// An output that names an input, directly or through a link, is refused before anything is
// read or written, and the input keeps its bytes.
TEST(Package, OutputThatIsAnInputIsRefused) {
    struct {
        const char *Name;
        std::function<std::string(TFixture &)> Output;
    } Cases[] = {
        {"the program", [](TFixture &F) { return F.Options.ProgramPath; }},
        {"the stub", [](TFixture &F) { return F.Options.StubPath; }},
        {"a message file", [](TFixture &F) { return F.Options.LanguagePaths[1]; }},
        {"the second data file", [](TFixture &F) { return F.Options.SecondDataPath; }},
        {"the setup data file", [](TFixture &F) { return F.Options.SetupDataPath; }},
        {"the program through a symbolic link",
         [](TFixture &F) {
             EXPECT_EQ(::symlink(F.Options.ProgramPath.c_str(), (F.Dir / "soft.exe").c_str()), 0);
             return F.Dir / "soft.exe";
         }},
        {"the program under a second name",
         [](TFixture &F) {
             EXPECT_EQ(::link(F.Options.ProgramPath.c_str(), (F.Dir / "hard.exe").c_str()), 0);
             return F.Dir / "hard.exe";
         }},
        {"the program by another path",
         [](TFixture &F) { return F.Dir.Path() + "/./" + "program.exe"; }},
    };
    for (auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        TFixture F;
        F.Options.OutputPath = C.Output(F);
        const std::string Before = ReadFileBytes(F.Options.OutputPath);
        const std::vector<std::string> Names = F.Dir.List();
        EXPECT_THROW(PackInstaller(F.Options), EOutputIsInput);
        EXPECT_TRUE(ReadFileBytes(F.Options.OutputPath) == Before);
        EXPECT_EQ(F.Dir.List(), Names);
    }
    TFixture F;
    PackInstaller(F.Options);
    const std::string Package = ReadFileBytes(F.Options.OutputPath);
    EXPECT_THROW(ExtractProgram(F.Options.OutputPath, F.Options.OutputPath), EOutputIsInput);
    EXPECT_TRUE(ReadFileBytes(F.Options.OutputPath) == Package);
}

// Collects what is written into a FIFO. The read end is open before the writer starts, so a
// writer that never opens the FIFO leaves the collected bytes empty instead of hanging.
class TFifoReader {
public:
    explicit TFifoReader(const std::string &Path)
        : FFd(::open(Path.c_str(), O_RDONLY | O_NONBLOCK)), FThread([this] { Collect(); }) {}
    // Call once the writer is done.
    std::string Finish() {
        FWriterDone = true;
        FThread.join();
        ::close(FFd);
        return FBytes;
    }

private:
    void Collect() {
        char Buffer[65536];
        for (;;) {
            const bool Done = FWriterDone;
            const ssize_t Got = ::read(FFd, Buffer, sizeof(Buffer));
            if (Got > 0)
                FBytes.append(Buffer, static_cast<size_t>(Got));
            else if (Got == 0 && Done)
                return; // no writer now, and none to come
            else
                std::this_thread::yield();
        }
    }
    int FFd;
    std::atomic<bool> FWriterDone{false};
    std::string FBytes;
    std::thread FThread;
};

// An output path leads where cp and compilers take it: through links to their file (created
// when missing), straight into a device or FIFO, over an existing file keeping its mode. Pack
// and extract write the same way.
TEST(Package, OutputGoesWhereThePathLeads) {
    TFixture Packed;
    PackInstaller(Packed.Options);
    const std::string Package = ReadFileBytes(Packed.Options.OutputPath);
    struct {
        const char *Name;
        std::function<void(const std::string &Output)> Write;
        const std::string &Expected;
        const std::string &Input; // one the writer reads
    } Writers[] = {
        {"pack",
         [&](const std::string &Output) {
             TPackOptions Options = Packed.Options;
             Options.OutputPath = Output;
             PackInstaller(Options);
         },
         Package, Packed.Options.ProgramPath},
        {"extract",
         [&](const std::string &Output) { ExtractProgram(Packed.Options.OutputPath, Output); },
         Packed.Program, Packed.Options.OutputPath},
    };
    enum TOutcome { Written, Streamed, OutputError, IsInput };
    struct {
        const char *Name;
        std::function<std::string(TScratchDir &Dir, const std::string &Input)> Prepare; // -o
        TOutcome Outcome;
        const char *Lands; // where the bytes are found, in Dir
        int Mode;          // the permission bits they must have; -1: not checked
    } Cases[] = {
        // A node of its own, so that a writer that replaces the node cannot harm the system's;
        // where nodes cannot be made, a link to the system's null device.
        {"a null device",
         [](TScratchDir &Dir, const std::string &) {
             if (::mknod((Dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
                 return Dir / "null";
             EXPECT_EQ(::symlink("/dev/null", (Dir / "null").c_str()), 0);
             return Dir / "null";
         },
         Streamed, "", -1},
        {"a FIFO",
         [](TScratchDir &Dir, const std::string &) {
             EXPECT_EQ(::mkfifo((Dir / "fifo").c_str(), 0600), 0);
             return Dir / "fifo";
         },
         Streamed, "", -1},
        {"a link to a file",
         [](TScratchDir &Dir, const std::string &) {
             WriteFileBytes(Dir / "target.exe", std::string("old"));
             ::chmod((Dir / "target.exe").c_str(), 0640);
             EXPECT_EQ(::symlink("target.exe", (Dir / "link.exe").c_str()), 0);
             return Dir / "link.exe";
         },
         Written, "target.exe", 0640},
        {"a link to nowhere",
         [](TScratchDir &Dir, const std::string &) {
             EXPECT_EQ(::mkdir((Dir / "sub").c_str(), 0755), 0);
             EXPECT_EQ(::symlink("sub/new.exe", (Dir / "link.exe").c_str()), 0);
             return Dir / "link.exe";
         },
         Written, "sub/new.exe", -1},
        {"a link to the input",
         [](TScratchDir &Dir, const std::string &Input) {
             EXPECT_EQ(::symlink(Input.c_str(), (Dir / "in.exe").c_str()), 0);
             return Dir / "in.exe";
         },
         IsInput, "", -1},
        {"a file of mode 0600",
         [](TScratchDir &Dir, const std::string &) {
             WriteFileBytes(Dir / "out.exe", std::string("old"));
             ::chmod((Dir / "out.exe").c_str(), 0600);
             return Dir / "out.exe";
         },
         Written, "out.exe", 0600},
        {"a file of mode 0755",
         [](TScratchDir &Dir, const std::string &) {
             WriteFileBytes(Dir / "out.exe", std::string("old"));
             ::chmod((Dir / "out.exe").c_str(), 0755);
             return Dir / "out.exe";
         },
         Written, "out.exe", 0755},
        {"a folder", [](TScratchDir &Dir, const std::string &) { return Dir.Path(); }, OutputError, "", -1},
        {"a read-only folder",
         [](TScratchDir &Dir, const std::string &) {
             EXPECT_EQ(::mkdir((Dir / "ro").c_str(), 0555), 0);
             return Dir / "ro/out.exe";
         },
         OutputError, "", -1},
    };
    for (auto &W : Writers)
        for (auto &C : Cases) {
            SCOPED_TRACE(std::string(W.Name) + " to " + C.Name);
            if (std::string(C.Name) == "a read-only folder" && ::geteuid() == 0)
                continue; // permissions do not stop root
            TScratchDir Dir;
            const std::string Output = C.Prepare(Dir, W.Input);
            struct stat St;
            std::unique_ptr<TFifoReader> Reader;
            if (::stat(Output.c_str(), &St) == 0 && S_ISFIFO(St.st_mode))
                Reader.reset(new TFifoReader(Output));
            const std::vector<std::string> Before = Dir.List();
            switch (C.Outcome) {
            case Written:
            case Streamed:
                W.Write(Output);
                break;
            case OutputError:
                EXPECT_THROW(W.Write(Output), EOutputError);
                break;
            case IsInput:
                EXPECT_THROW(W.Write(Output), EOutputIsInput);
                break;
            }
            if (Reader)
                EXPECT_TRUE(Reader->Finish() == W.Expected);
            if (C.Outcome != Written) {
                EXPECT_EQ(Dir.List(), Before); // nothing beside it, nothing replaced
            } else {
                EXPECT_TRUE(ReadFileBytes(Dir / C.Lands) == W.Expected);
                ASSERT_EQ(::stat((Dir / C.Lands).c_str(), &St), 0);
                if (C.Mode >= 0)
                    EXPECT_EQ(St.st_mode & 07777, static_cast<mode_t>(C.Mode));
            }
            ASSERT_EQ(::lstat(Output.c_str(), &St), 0);
            if (std::string(C.Name).find("link") != std::string::npos)
                EXPECT_TRUE(S_ISLNK(St.st_mode)); // the link stays a link
            if (C.Outcome == Streamed)
                EXPECT_FALSE(S_ISREG(St.st_mode)); // the node was not replaced by a file
        }
}

// verify's decode reads a stored folder back as the setup program will: the loader accepts a
// folder damaged behind the index, the report does not.
TEST(Package, DecodingReadsAStoredFolderBack) {
    TFixture F;
    F.Options.SetupDataPath.clear();
    F.Options.SetupDataBytes = BuildFileTreeArea(
        {{"a.txt", false, 0, 0, "alpha"}, {"sub", true, 0, 0, ""},
         {"sub/b.bin", false, 0, 0, TestProgram(30000)}}, "");
    const TPackResult Packed = PackInstaller(F.Options);
    std::string Bytes = ReadFileBytes(F.Options.OutputPath);
    const TPackageReport Good = ReadPackage(F.Options.OutputPath, true);
    EXPECT_TRUE(Good.HaveStoredFolder);
    EXPECT_EQ(Good.StoredFolderFiles, 2u);
    EXPECT_EQ(Good.StoredFolderFault, "");
    Bytes[Packed.Table.SetupProgramOffset - 40] ^= 0x10; // inside the files' data block
    const std::string Damaged = F.Dir / "damaged.exe";
    WriteFileBytes(Damaged, Bytes);
    const TPackageReport Bad = ReadPackage(Damaged, true);
    EXPECT_EQ(Bad.Fault, "");
    EXPECT_NE(Bad.StoredFolderFault.find("stored folder at offset"), std::string::npos);
    EXPECT_FALSE(ReadPackage(Damaged, false).HaveStoredFolder); // not read without the decode
}

// Damaged files: the report carries the acceptance routine's verdict, and a refusal names the
// structure and where it lies, in ASCII.
TEST(Package, ReportsTheLoadersVerdictOnDamagedFiles) {
    TFixture F;
    TPackResult Packed = PackInstaller(F.Options);
    const std::string Good = ReadFileBytes(F.Options.OutputPath);
    const TLoaderOffsetTable &T = Packed.Table;
    const std::string Damaged = F.Dir / "damaged.exe";

    auto Check = [&](const std::string &Bytes, const std::string &What, bool Accepted,
                     const std::string &Names = "") {
        SCOPED_TRACE(What);
        WriteFileBytes(Damaged, Bytes);
        for (bool WithProgram : {true, false}) {
            const TPackageReport Report = ReadPackage(Damaged, WithProgram);
            const bool ProgramOnly = Names.find("setup program") != std::string::npos;
            EXPECT_EQ(Report.Fault.empty(), Accepted || (!WithProgram && ProgramOnly))
                << Report.Fault;
            if (!Report.Fault.empty()) {
                EXPECT_NE(Report.Fault.find(Names), std::string::npos) << Report.Fault;
                for (char C : Report.Fault)
                    EXPECT_TRUE(C >= 0x20 && C < 0x7F) << Report.Fault;
            }
        }
    };
    auto Flip = [&](uint64_t At) {
        std::string B = Good;
        B[At] ^= 0x10;
        return B;
    };
    const std::string Signature = std::to_string(T.SetupDataOffset);
    const std::string Records = std::to_string(T.SetupDataOffset + 64);
    const std::string Program = std::to_string(T.SetupProgramOffset);

    Check(Good, "untouched", true);
    Check(Good + "SIGNATURE", "bytes behind MinFileSize", true);
    Check(Good.substr(0, Good.size() - 1), "one byte short", false, "MinFileSize");
    Check(Good.substr(0, T.SetupDataOffset + 10), "truncated inside the signature", false,
          "MinFileSize");
    Check(Flip(0x258), "table signature byte", false, "offset table");
    Check(Flip(0x258 + 12), "format version", false, "offset table");
    Check(Flip(T.SetupDataOffset + 63), "setup data signature", false,
          "setup data signature at offset " + Signature);
    Check(Flip(T.SetupDataOffset + 64 + 20), "records block", false,
          "setup records block at offset " + Records + ": chunk 0 at offset");
    Check(Flip(T.SetupProgramOffset + 2), "program block header", false,
          "setup program block at offset " + Program + ": HeaderCRC");
    Check(Flip(T.SetupProgramOffset + 5000), "program block chunk", false,
          "setup program block at offset " + Program + ": chunk 1 at offset " +
              std::to_string(T.SetupProgramOffset + 9 + 4100) + ": ChunkCRC");
    Check(Flip(T.SecondDataOffset), "second data area", true);
    Check(Flip(T.SetupProgramOffset - 1), "the author's setup data", true);
}

} // namespace
