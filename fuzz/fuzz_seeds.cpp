// Writes seed corpora for the fuzz targets, made by the packager's writers:
//   fuzz_seeds DIR  ->  DIR/block_reader, DIR/setup_records, DIR/message_block,
//                       DIR/package_inspect, DIR/command_line, DIR/extract_program
// and, with --regressions, the named damages of the regression corpus (fuzz/regressions/):
//   fuzz_seeds --regressions fuzz/regressions
#include <filesystem>
#include <fstream>
#include <string>

#include "records/messages.h"
#include "setupdata/call_transform.h"
#include "setupdata/crc32.h"
#include "support/byte_order.h"
#include "tests/tools/test_stub.h"
#include "tools/package_builder.h"
#include "tools/packlib/block_writer.h"
#include "tools/packlib/lzma_compress.h"
#include "tools/packlib/message_block_writer.h"
#include "tools/packlib/record_writer.h"

namespace fs = std::filesystem;

namespace {

void WriteSeed(const fs::path &Dir, const std::string &Name, const std::string &Bytes) {
    fs::create_directories(Dir);
    std::ofstream(Dir / Name, std::ios::binary) << Bytes;
}

std::string Text(size_t Size) {
    std::string Out;
    for (size_t I = 0; Out.size() < Size; ++I)
        Out += "call " + std::to_string(I % 97) + "\xE8\x10\x00\x00\x00;";
    Out.resize(Size);
    return Out;
}

std::string MessageBlock(int Variant) {
    std::string Messages[LoaderMessageCount];
    for (int N = 0; N < LoaderMessageCount; ++N)
        if (Variant != 0)
            Messages[N] = "msg " + std::to_string(N) + (N % 3 ? " %1 %% %2" : "");
    return BuildMessageBlock(Messages);
}

// Whole installers from the packager: the test stub (a minimal PE image with the table slot),
// small programs, one or two languages, with and without the optional areas.
void WritePackageSeeds(const fs::path &Dir) {
    const fs::path Work = Dir / "inputs.tmp";
    fs::create_directories(Work);
    const std::vector<uint8_t> Stub = BuildTestStub();
    std::ofstream(Work / "stub.exe", std::ios::binary)
        .write(reinterpret_cast<const char *>(Stub.data()), Stub.size());
    std::ofstream(Work / "en.txt") << "name = English\nlangid = 0x0409\ncodepage = 0\n"
                                      "StartupPrompt = Install %1?\n";
    std::ofstream(Work / "zh.txt") << "name = Chinese\nlangid = 0x0804\ncodepage = 936\n";
    std::ofstream(Work / "extra.bin") << "EXTRA";
    int Number = 0;
    for (size_t ProgramSize : {0, 300, 5000}) {
        std::ofstream(Work / "program.exe", std::ios::binary | std::ios::trunc)
            << RunnableProgram(Text(ProgramSize));
        TPackOptions Options;
        Options.StubPath = (Work / "stub.exe").string();
        Options.ProgramPath = (Work / "program.exe").string();
        Options.ApplicationName = "Seed App";
        Options.LanguagePaths = {(Work / "en.txt").string()};
        if (ProgramSize == 300)
            Options.LanguagePaths.push_back((Work / "zh.txt").string());
        if (ProgramSize != 0) {
            Options.SecondDataPath = (Work / "extra.bin").string();
            Options.SetupDataPath = (Work / "extra.bin").string();
        }
        Options.OutputPath = (Dir / ("package_" + std::to_string(Number++))).string();
        PackInstaller(Options);
    }
    // An empty setup program and no language: quovpack refuses to pack such a program, but the
    // loader still reads any table that describes one.
    TPackageParts Parts;
    Parts.Stub.assign(Stub.begin(), Stub.end());
    Parts.Header.ApplicationName = "Seed App";
    std::ofstream(Dir / ("package_" + std::to_string(Number++)), std::ios::binary)
        << BuildPackage(Parts);
    fs::remove_all(Work);
}

// Bytes that do not repeat: matches in them reach no further back than the copy they repeat.
std::string Unrepeated(size_t Size, uint32_t Seed) {
    std::string Out(Size, '\0');
    for (char &C : Out) {
        Seed = Seed * 1103515245u + 12345u;
        C = char(Seed >> 16);
    }
    return Out;
}

// An input of extract_program_fuzz: the table's size and CRC, then the program's block as the
// packager stores it (call operands converted, LZMA) unless the caller gives a stream of its own.
struct TExtractInput {
    std::string Program;
    std::string Stream; // the LZMA stream to store instead of the packager's
    int32_t SizeDelta = 0;
    uint32_t CrcXor = 0;
};

std::string ExtractInput(const TExtractInput &In) {
    std::string Block;
    if (In.Stream.empty()) {
        std::string Stored = In.Program;
        ConvertCallOperands(&Stored[0], uint32_t(Stored.size()), true, 0);
        AppendLzmaBlock(Block, Stored.data(), Stored.size());
    } else {
        AppendCompressedBlock(Block, In.Stream.data(), In.Stream.size(), true);
    }
    std::string Out;
    AppendLe32(Out, uint32_t(In.Program.size() + In.SizeDelta));
    AppendLe32(Out, ComputeCrc32(In.Program.data(), In.Program.size()) ^ In.CrcXor);
    return Out + Block;
}

// The named damages of the extraction that the tests use and that once mattered: each file is
// described in fuzz/regressions/README.md.
void WriteRegressions(const fs::path &Root) {
    const fs::path Dir = Root / "extract_program";
    const std::string Program = Text(20000);
    const std::string Good = ExtractInput({Program});

    // A stream that declares a dictionary below the decoder's 4 KiB floor may refer no further
    // back than it declared.
    const std::string Short = Text(3000);
    std::string SmallDictionary = LzmaCompressWith(Short.data(), Short.size(), 3, 0, 2, 4096);
    StoreLe32(&SmallDictionary[1], 16);
    WriteSeed(Dir, "dictionary_16_bytes", ExtractInput({Short, SmallDictionary}));

    // Matches 25000 bytes back in a stream that declares 16 KiB: the bytes are in the program
    // buffer, but the declared size still refuses the match.
    const std::string Half = Unrepeated(25000, 7);
    std::string FarMatch = LzmaCompressWith((Half + Half).data(), 2 * Half.size(), 3, 0, 2, 1 << 16);
    StoreLe32(&FarMatch[1], 1 << 14);
    WriteSeed(Dir, "match_beyond_declared_dictionary", ExtractInput({Half + Half, FarMatch}));

    TExtractInput Longer{Program};
    Longer.SizeDelta = 1;
    WriteSeed(Dir, "size_one_beyond_stream", ExtractInput(Longer));
    TExtractInput WrongCrc{Program};
    WrongCrc.CrcXor = 1;
    WriteSeed(Dir, "wrong_crc", ExtractInput(WrongCrc));
    std::string Flipped = Good;
    Flipped[Flipped.size() / 2] ^= 0x40;
    WriteSeed(Dir, "flipped_bit_in_chunk", Flipped);
    WriteSeed(Dir, "truncated_block", Good.substr(0, Good.size() - 1));

    // Large enough for the writer's second thread and its prefault, then refused at the end.
    TExtractInput LargeWrongCrc{Text(6u << 20)};
    LargeWrongCrc.CrcXor = 1;
    WriteSeed(Dir, "threaded_wrong_crc", ExtractInput(LargeWrongCrc));
}

} // namespace

int main(int ArgCount, char **Args) {
    if (ArgCount == 3 && std::string(Args[1]) == "--regressions") {
        WriteRegressions(Args[2]);
        return 0;
    }
    if (ArgCount != 2)
        return 2;
    const fs::path Root = Args[1];

    // Block reader seeds: the first byte picks the piece size.
    const std::string Data = Text(20000);
    std::string Stored, Compressed, Small;
    AppendCompressedBlock(Stored, Data.data(), Data.size(), false);
    AppendLzmaBlock(Compressed, Data.data(), Data.size());
    std::string SmallStream = LzmaCompressWith(Data.data(), 3000, 8, 4, 4, 4096);
    AppendCompressedBlock(Small, SmallStream.data(), SmallStream.size(), true);
    WriteSeed(Root / "block_reader", "stored", std::string(1, '\0') + Stored);
    WriteSeed(Root / "block_reader", "lzma", std::string(1, '\1') + Compressed);
    WriteSeed(Root / "block_reader", "lzma_lc8_lp4_pb4", std::string(1, '\2') + Small);

    // Setup record seeds: header and entries in one block, compressed and stored.
    for (int Count : {0, 1, 3}) {
        TSetupHeaderFields Header;
        Header.ApplicationName = "Seed App";
        Header.LanguageEntryCount = Count;
        std::string Stream = BuildSetupHeaderRecord(Header);
        for (int I = 0; I < Count; ++I) {
            TSetupLanguageFields Entry;
            Entry.Name = "lang" + std::to_string(I);
            Entry.MessageBlock = MessageBlock(I);
            Entry.LanguageID = 0x409 + I;
            Stream += BuildSetupLanguageRecord(Entry);
        }
        std::string Lzma, Plain;
        AppendLzmaBlock(Lzma, Stream.data(), Stream.size());
        AppendCompressedBlock(Plain, Stream.data(), Stream.size(), false);
        WriteSeed(Root / "setup_records", "lzma_" + std::to_string(Count), Lzma);
        WriteSeed(Root / "setup_records", "stored_" + std::to_string(Count), Plain);
    }

    WriteSeed(Root / "message_block", "empty_messages", MessageBlock(0));
    WriteSeed(Root / "message_block", "patterns", MessageBlock(1));

    fs::create_directories(Root / "package_inspect");
    WritePackageSeeds(Root / "package_inspect");

    // Extraction seeds: programs from empty to past the writer's 4 MiB threshold, and one
    // stored without compression.
    for (size_t ProgramSize : {size_t(0), size_t(300), size_t(20000), size_t(5u << 20)})
        WriteSeed(Root / "extract_program", "program_" + std::to_string(ProgramSize),
                  ExtractInput({Text(ProgramSize)}));
    {
        const std::string Program = Text(3000);
        std::string Input;
        AppendLe32(Input, uint32_t(Program.size()));
        AppendLe32(Input, ComputeCrc32(Program.data(), Program.size()));
        std::string Stored = Program;
        ConvertCallOperands(&Stored[0], uint32_t(Stored.size()), true, 0);
        AppendCompressedBlock(Input, Stored.data(), Stored.size(), false);
        WriteSeed(Root / "extract_program", "stored_3000", Input);
    }

    const char *Lines[] = {
        "setup.exe",
        "\"C:\\Program Files\\setup.exe\" /SP- /Lang=de",
        "setup.exe /spawnwnd=$1A2B /LANG=\"Chinese Simplified\" /Lang=en tail\targ",
        "\"a\"\"b\" \"\" \"c d\"e\t\x01/sp-\x7f\xb1\x5c\"",
        "x /Lang= /SP /SP-- /SPAWNWND \x81\"\xe4\" trailing   ",
    };
    for (size_t I = 0; I < sizeof(Lines) / sizeof(Lines[0]); ++I)
        WriteSeed(Root / "command_line", "line_" + std::to_string(I), Lines[I]);
    return 0;
}
