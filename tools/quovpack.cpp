// quovpack: packs a setup program into the loader stub, and inspects, verifies and unpacks
// packaged installers with the loader's own reading code.
#include <algorithm>
#include <chrono>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <map>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

#include "tools/file_tree_packer.h"
#include "tools/host_files.h"
#include "tools/package_builder.h"
#include "tools/package_reader.h"
#include "tools/text_codec.h"

namespace {

// Exit codes, as documented in --help and tools/README.md.
constexpr int ExitOk = 0;
constexpr int ExitRefused = 1;   // the loader would refuse the installer (verify, inspect, extract)
constexpr int ExitUsage = 2;     // bad command line
constexpr int ExitInput = 3;     // an input is missing, unreadable or unusable
constexpr int ExitOutput = 4;    // the output cannot be written
constexpr int ExitInternal = 5;  // out of memory or an unexpected failure

// The version of the JSON that inspect --json and verify --json print; it grows when a key
// changes meaning or goes away (new keys may appear without it).
constexpr int JsonFormatVersion = 1;

// The message files used when pack is given no --lang, from the installed data folder; the
// first is the fallback language.
const char *const DefaultLanguageFiles[] = {"en.txt", "zh_CN.txt"};

const char GeneralHelp[] =
    "usage: quovpack <command> [options]\n"
    "       quovpack --version\n"
    "\n"
    "Builds and checks installers for the Quov setup loader.\n"
    "\n"
    "commands:\n"
    "  pack      pack a setup program into the loader stub\n"
    "  inspect   show the offset table, file map, setup header and languages of an installer\n"
    "  verify    check an installer the way the loader does, without running anything\n"
    "  extract   write the setup program stored in an installer\n"
    "\n"
    "Run 'quovpack <command> --help' for the options of a command.\n"
    "\n"
    "exit codes:\n"
    "  0  success (for verify and inspect: the loader would accept the file)\n"
    "  1  the loader would refuse the installer; the first fault is printed\n"
    "  2  bad command line, or an output that names one of the inputs\n"
    "  3  an input file is missing, unreadable or unusable; nothing was written\n"
    "  4  the output could not be written; nothing was left behind\n"
    "  5  out of memory or an internal error\n";

const char PackHelp[] =
    "usage: quovpack pack --program FILE --name TEXT -o OUT [--stub FILE] [--lang FILE...]\n"
    "                     [--detect ui|locale|none] [--no-prompt] [--second-data FILE]\n"
    "                     [--setup-data FILE] [--dict-size SIZE] [--werror]\n"
    "       quovpack pack --files DIR --name TEXT -o OUT [--run \"PATH ARGS\"] [--zero-times]\n"
    "                     [--program FILE] [other options as above]\n"
    "\n"
    "Writes OUT: the stub with its offset table filled in, the second data area, the setup\n"
    "data and the compressed setup program, then sets the PE checksum. OUT is written to a\n"
    "temporary file beside it and renamed at the end; after any failure or interruption no\n"
    "OUT and no temporary file is left. The same inputs always give the same bytes.\n"
    "\n"
    "  --program FILE      the setup program to run: a Windows GUI or console program\n"
    "                      below 2 GiB (DLLs, text and other files are refused)\n"
    "  --name TEXT         application name for the startup question, in UTF-8; it is stored\n"
    "                      in the code page of the first --lang whose code page is not 0,\n"
    "                      and must be ASCII when every language has code page 0\n"
    "  -o, --output OUT    the installer to write; it must not name one of the inputs\n"
    "  --stub FILE         the loader executable (quovldr.exe), unpacked; default: the\n"
    "                      installed one\n"
    "  --lang FILE         a message file (see messages/README.md); repeat for more\n"
    "                      languages; the first one is the fallback; default: the installed\n"
    "                      en.txt and zh_CN.txt\n"
    "  --detect MODE       how the loader picks a language when /Lang= does not:\n"
    "                      ui (user interface language, default), locale (user locale),\n"
    "                      none (always the first language)\n"
    "  --no-prompt         do not ask the startup question\n"
    "  --second-data FILE  bytes placed right behind the stub, for the setup program\n"
    "  --setup-data FILE   bytes placed behind the setup records, for the setup program\n"
    "  --dict-size SIZE    LZMA dictionary for the setup program, 4K to 64M (K and M are KiB\n"
    "                      and MiB; default 16M); a smaller program gets the smallest\n"
    "                      dictionary that holds it\n"
    "  --werror            treat warnings as errors: write nothing when there is one\n"
    "  --files DIR         install the folder DIR: its files and folders become the setup\n"
    "                      data, and the installed quovfiles.exe (which installs them) the\n"
    "                      setup program unless --program names another; symbolic links and\n"
    "                      names Windows cannot hold are refused\n"
    "  --run \"PATH ARGS\"   with --files: run PATH (relative to the installed folder) after\n"
    "                      installing, and end with its exit code\n"
    "  --zero-times        with --files: store no modification times (reproducible builds)\n"
    "\n"
    "Warnings (on stderr): an x64, ARM or Itanium program (it starts only on such Windows),\n"
    "an application name that some language's code page shows wrongly, a loader message that\n"
    "is empty or has a placeholder the loader does not fill, two languages with one name.\n"
    "\n"
    "A progress line with percentage and rate is shown on stderr when it is a terminal.\n"
    "Exit codes: 0 written, 2 bad command line or OUT names an input, 3 an input was refused\n"
    "(or a warning with --werror), 4 OUT could not be written, 5 internal.\n";

const char InspectHelp[] =
    "usage: quovpack inspect FILE [--json]\n"
    "\n"
    "Shows the offset table, the map of the file (image, second data area, setup data,\n"
    "program block, bytes behind MinFileSize), the setup header (application name, language\n"
    "detection, startup question) and each language with the state of its message block.\n"
    "Reads with the loader's code but does not decode the setup program (use verify).\n"
    "\n"
    "  --json   print one JSON object instead of text (tools/README.md lists its keys)\n"
    "\n"
    "Exit codes: 0 readable and accepted so far, 1 the loader would refuse it (the fault is\n"
    "shown), 2 bad command line, 3 FILE cannot be read, 5 internal error.\n";

const char VerifyHelp[] =
    "usage: quovpack verify FILE [--json]\n"
    "\n"
    "Makes every check the loader makes: the offset table (found, 44 bytes, version, CRC), the\n"
    "file length, the setup data signature, the setup records, every language's message\n"
    "block, every chunk CRC, the full decode of the setup program, its call transform and\n"
    "CRC. Runs nothing and writes no file. Prints one line: OK, or the first fault with the\n"
    "check, the structure and its file offset.\n"
    "\n"
    "  --json   print one JSON object instead of the line\n"
    "\n"
    "Exit codes: 0 the loader would accept FILE, 1 it would refuse it, 2 bad command line,\n"
    "3 FILE cannot be read, 5 out of memory or internal error.\n";

const char ExtractHelp[] =
    "usage: quovpack extract FILE -o PATH\n"
    "\n"
    "Checks FILE as the loader does before extraction and writes the setup program to PATH,\n"
    "byte for byte as the loader would write it. PATH appears only when it is complete, and\n"
    "must not name FILE.\n"
    "\n"
    "Exit codes: 0 written, 1 the loader would refuse FILE, 2 bad command line or PATH names\n"
    "FILE, 3 FILE cannot be read, 4 PATH cannot be written, 5 internal error.\n";

class EUsage {
public:
    explicit EUsage(std::string Text) : Message(std::move(Text)) {}
    std::string Message;
};

// A line on stderr that shows what a long command is doing; only on a terminal. A measured
// phase shows its percentage and its rate since the phase began.
class TProgressLine {
public:
    using TClock = std::chrono::steady_clock;

    TProgressLine() : FEnabled(::isatty(2) != 0) {}
    ~TProgressLine() { Clear(); }
    void Show(const std::string &Phase, uint64_t Done = 0, uint64_t Total = 0) {
        if (!FEnabled)
            return;
        const TClock::time_point Now = TClock::now();
        if (Phase != FPhase) {
            FPhase = Phase;
            FPhaseStart = Now;
        } else if (Now - FLastShown < std::chrono::milliseconds(100) && Done != Total) {
            return;
        }
        FLastShown = Now;
        std::string Text = Phase + (Total == 0 ? "..." : "");
        if (Total != 0) {
            char Figures[64];
            const double Seconds = std::chrono::duration<double>(Now - FPhaseStart).count();
            int Length = std::snprintf(Figures, sizeof(Figures), " %3u%%",
                                       static_cast<unsigned>(Done * 100 / Total));
            if (Seconds >= 0.5)
                std::snprintf(Figures + Length, sizeof(Figures) - Length, "  %.1f MB/s",
                              double(Done) / 1e6 / Seconds);
            Text += Figures;
        }
        std::fprintf(stderr, "\r\033[Kquovpack: %s", Text.c_str());
        std::fflush(stderr);
        FShown = true;
    }
    void Clear() {
        if (FShown)
            std::fprintf(stderr, "\r\033[K");
        FShown = false;
    }

private:
    bool FEnabled;
    bool FShown = false;
    std::string FPhase;
    TClock::time_point FPhaseStart, FLastShown;
};

// Long options without a one-letter form.
enum TOptionId {
    OptStub = 256,
    OptProgram,
    OptName,
    OptLang,
    OptDetect,
    OptNoPrompt,
    OptSecondData,
    OptSetupData,
    OptDictSize,
    OptWerror,
    OptJson,
    OptFiles,
    OptRun,
    OptZeroTimes,
};

// The options of one command as getopt_long saw them, and the other arguments.
struct TArgs {
    std::map<int, std::vector<std::string>> Values; // flags appear with empty values
    std::vector<std::string> Positional;
    const option *Options = nullptr;

    std::string NameOf(int Id) const {
        for (const option *O = Options; O->name; ++O)
            if (O->val == Id)
                return std::string("--") + O->name;
        return std::string("-") + static_cast<char>(Id);
    }
    bool Has(int Id) const { return Values.count(Id) != 0; }
    std::string One(int Id) const {
        auto It = Values.find(Id);
        if (It == Values.end())
            return std::string();
        if (It->second.size() > 1)
            throw EUsage(NameOf(Id) + " is given more than once");
        return It->second[0];
    }
    std::string Required(int Id) const {
        if (!Has(Id))
            throw EUsage(NameOf(Id) + " is required");
        std::string Value = One(Id);
        if (Value.empty())
            throw EUsage(NameOf(Id) + " must not be empty");
        return Value;
    }
    std::vector<std::string> All(int Id) const {
        auto It = Values.find(Id);
        return It == Values.end() ? std::vector<std::string>() : It->second;
    }
};

// Parses the arguments behind the command word (Argv[0] is the command): options in any order
// before, between or after the others, "--name VALUE", "--name=VALUE", "-oVALUE", "-o VALUE",
// and "--" before arguments that start with a dash.
TArgs ParseArgs(int Argc, char **Argv, const char *ShortOptions, const option *Options) {
    TArgs Args;
    Args.Options = Options;
    const std::string Short = std::string(":") + ShortOptions; // ':' reports a missing value
    ::opterr = 0;
    ::optind = 1;
    for (;;) {
        int Id = ::getopt_long(Argc, Argv, Short.c_str(), Options, nullptr);
        if (Id == -1)
            break;
        const std::string Given = Argv[::optind - 1];
        if (Id == ':')
            throw EUsage("option " + Args.NameOf(::optopt) + " needs a value");
        if (Id == '?') {
            if (::optopt >= OptStub)
                throw EUsage("option " + Args.NameOf(::optopt) + " takes no value");
            if (::optopt != 0)
                throw EUsage(std::string("unknown option -") + static_cast<char>(::optopt));
            throw EUsage("unknown or ambiguous option " + Given);
        }
        Args.Values[Id].push_back(::optarg ? ::optarg : "");
    }
    for (int I = ::optind; I < Argc; ++I)
        Args.Positional.push_back(Argv[I]);
    return Args;
}

void Warn(const std::string &Text) { std::fprintf(stderr, "quovpack: warning: %s\n", Text.c_str()); }
void Error(const std::string &Text) { std::fprintf(stderr, "quovpack: error: %s\n", Text.c_str()); }

// Where an installed quovpack finds the stub and the default message files: the data folder
// at QUOVPACK_DATA_FROM_BIN relative to the program's own folder (so the installed tree can
// be moved as a whole). Empty when the program's path cannot be read.
std::string InstalledDataDirectory() {
    char Self[PATH_MAX];
    ssize_t Length = ::readlink("/proc/self/exe", Self, sizeof(Self) - 1);
    if (Length <= 0)
        return std::string();
    std::string Folder(Self, static_cast<size_t>(Length));
    Folder.erase(Folder.rfind('/'));
    std::string Relative = QUOVPACK_DATA_FROM_BIN;
    while (Relative.compare(0, 3, "../") == 0 && Folder.rfind('/') != std::string::npos) {
        Folder.erase(Folder.rfind('/'));
        Relative.erase(0, 3);
    }
    return Folder + "/" + Relative;
}

// "16M", "16MiB", "512K", "65536": a size in bytes (K and M are binary); 0 when the text is
// no such size.
uint64_t ParseSize(const std::string &Text) {
    size_t Digits = 0;
    uint64_t Value = 0;
    while (Digits < Text.size() && Text[Digits] >= '0' && Text[Digits] <= '9' && Value < (1u << 30))
        Value = Value * 10 + uint64_t(Text[Digits++] - '0');
    std::string Unit = Text.substr(Digits);
    for (char &C : Unit)
        C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    if (Digits == 0 || Value >= (1u << 30))
        return 0;
    if (Unit.empty() || Unit == "b")
        return Value;
    if (Unit == "k" || Unit == "kib")
        return Value << 10;
    if (Unit == "m" || Unit == "mib")
        return Value << 20;
    return 0;
}

int RunPack(int Argc, char **Argv) {
    static const option LongOptions[] = {
        {"stub", required_argument, nullptr, OptStub},
        {"program", required_argument, nullptr, OptProgram},
        {"name", required_argument, nullptr, OptName},
        {"lang", required_argument, nullptr, OptLang},
        {"detect", required_argument, nullptr, OptDetect},
        {"no-prompt", no_argument, nullptr, OptNoPrompt},
        {"second-data", required_argument, nullptr, OptSecondData},
        {"setup-data", required_argument, nullptr, OptSetupData},
        {"dict-size", required_argument, nullptr, OptDictSize},
        {"werror", no_argument, nullptr, OptWerror},
        {"files", required_argument, nullptr, OptFiles},
        {"run", required_argument, nullptr, OptRun},
        {"zero-times", no_argument, nullptr, OptZeroTimes},
        {"output", required_argument, nullptr, 'o'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    TArgs Args = ParseArgs(Argc, Argv, "o:h", LongOptions);
    const std::string DataDirectory = InstalledDataDirectory();
    if (Args.Has('h')) {
        std::fputs(PackHelp, stdout);
        std::printf("\nThe installed stub and message files are looked for in %s.\n",
                    DataDirectory.c_str());
        return ExitOk;
    }
    if (!Args.Positional.empty())
        throw EUsage("unexpected argument " + Args.Positional[0]);
    TPackOptions Options;
    if (Args.Has(OptFiles) && !Args.Has(OptProgram))
        Options.ProgramPath = DataDirectory + "/" + FileTreeSetupProgramName;
    else
        Options.ProgramPath = Args.Required(OptProgram);
    Options.ApplicationName = Args.Required(OptName);
    Options.OutputPath = Args.Required('o');
    if (Args.Has(OptStub)) {
        Options.StubPath = Args.Required(OptStub);
    } else {
        Options.StubPath = DataDirectory + "/quovldr.exe";
        if (::access(Options.StubPath.c_str(), F_OK) != 0)
            throw EUsage("--stub is required: there is no installed stub " + Options.StubPath);
    }
    Options.LanguagePaths = Args.All(OptLang);
    if (Options.LanguagePaths.empty()) {
        for (const char *Name : DefaultLanguageFiles) {
            Options.LanguagePaths.push_back(DataDirectory + "/messages/" + Name);
            if (::access(Options.LanguagePaths.back().c_str(), F_OK) != 0)
                throw EUsage("--lang is required: there is no installed message file " +
                             Options.LanguagePaths.back());
        }
    }
    std::string Detect = Args.One(OptDetect);
    if (Detect.empty() || Detect == "ui")
        Options.DetectMode = 0;
    else if (Detect == "locale")
        Options.DetectMode = 1;
    else if (Detect == "none")
        Options.DetectMode = 2;
    else
        throw EUsage("--detect must be ui, locale or none, not \"" + Detect + "\"");
    if (Args.Has(OptDictSize)) {
        const std::string Text = Args.One(OptDictSize);
        const uint64_t Size = ParseSize(Text);
        if (Size < MinProgramDictionarySize || Size > MaxProgramDictionarySize)
            throw EUsage("--dict-size must be a size from 4K to 64M (the loader's limit), not \"" +
                         Text + "\"");
        Options.DictionarySize = static_cast<uint32_t>(Size);
    }
    Options.NoStartupPrompt = Args.Has(OptNoPrompt);
    Options.WarningsAreErrors = Args.Has(OptWerror);
    Options.SecondDataPath = Args.One(OptSecondData);
    Options.SetupDataPath = Args.One(OptSetupData);
    // --files: the stored folder is the setup data, through a temporary file beside OUT.
    TFileTreeAreaFile TreeArea;
    if (Args.Has(OptFiles)) {
        if (Args.Has(OptSetupData))
            throw EUsage("--files and --setup-data both fill the setup data: give one");
        Options.SetupDataPath = TreeArea.Write(
            BuildFileTreeArea(ScanHostTree(Args.One(OptFiles), Args.Has(OptZeroTimes)),
                              Args.One(OptRun)),
            Options.OutputPath);
    } else if (Args.Has(OptRun) || Args.Has(OptZeroTimes)) {
        throw EUsage("--run and --zero-times go with --files");
    }

    TProgressLine Line;
    TPackResult Result = PackInstaller(
        Options, [&](const std::string &Phase, uint64_t Done, uint64_t Total) {
            Line.Show(Phase, Done, Total);
        });
    Line.Clear();
    for (const std::string &W : Result.Warnings)
        Warn(W);
    std::printf("wrote %s: %u bytes, %zu language(s), setup program %u bytes in a %llu-byte "
                "block, PE checksum 0x%08X\n",
                Options.OutputPath.c_str(), Result.Table.MinFileSize,
                Options.LanguagePaths.size(), Result.Table.SetupProgramSize,
                static_cast<unsigned long long>(Result.ProgramBlockSize), Result.PeChecksum);
    return ExitOk;
}

std::string DetectModeName(uint8_t Mode) {
    return Mode == 0 ? "ui" : Mode == 1 ? "locale" : "none";
}

// The code page the application name was stored in (the packager's rule).
uint32_t NameCodePage(const TPackageReport &Report) {
    for (const TLanguageReport &L : Report.Languages)
        if (L.CodePage != 0)
            return L.CodePage;
    return 0;
}

struct TMapEntry {
    std::string Name;
    uint64_t Offset;
    uint64_t Size;
};

std::vector<TMapEntry> FileMap(const TPackageReport &R) {
    std::vector<TMapEntry> Map;
    if (R.HaveHeaders)
        Map.push_back({"image", 0, std::min(R.Pe.ImageEnd, R.FileSize)});
    if (!R.TableAccepted)
        return Map;
    const TLoaderOffsetTable &T = R.Table;
    if (T.SetupDataOffset >= T.SecondDataOffset)
        Map.push_back({"second data area", T.SecondDataOffset,
                       uint64_t(T.SetupDataOffset) - T.SecondDataOffset});
    Map.push_back({"setup data signature", T.SetupDataOffset, SetupDataSignatureSize});
    if (R.RecordsBlock.HeaderValid) {
        Map.push_back({"setup records block", R.RecordsBlock.Offset, R.RecordsBlock.End() -
                                                                         R.RecordsBlock.Offset});
        if (T.SetupProgramOffset >= R.RecordsBlock.End())
            Map.push_back({"further setup data", R.RecordsBlock.End(),
                           T.SetupProgramOffset - R.RecordsBlock.End()});
    }
    if (R.ProgramBlock.HeaderValid)
        Map.push_back({"setup program block", R.ProgramBlock.Offset,
                       R.ProgramBlock.End() - R.ProgramBlock.Offset});
    if (R.FileSize > T.MinFileSize)
        Map.push_back({"behind MinFileSize", T.MinFileSize, R.FileSize - T.MinFileSize});
    return Map;
}

// The length of the UTF-8 sequence at Text[At], or 0 when the bytes there are not one
// (overlong forms, surrogates and values above U+10FFFF included).
size_t Utf8SequenceAt(const std::string &Text, size_t At) {
    const unsigned char Lead = Text[At];
    size_t Length = Lead < 0x80 ? 1 : Lead >= 0xC2 && Lead <= 0xDF ? 2 : Lead >= 0xE0 && Lead <= 0xEF ? 3
                  : Lead >= 0xF0 && Lead <= 0xF4 ? 4 : 0;
    if (Length == 0 || At + Length > Text.size())
        return 0;
    uint32_t Value = Length == 1 ? Lead : Lead & (0x7F >> Length);
    for (size_t I = 1; I < Length; ++I) {
        const unsigned char Next = Text[At + I];
        if ((Next & 0xC0) != 0x80)
            return 0;
        Value = Value << 6 | (Next & 0x3F);
    }
    const uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (Value < Least[Length] || Value > 0x10FFFF || (Value >= 0xD800 && Value <= 0xDFFF))
        return 0;
    return Length;
}

bool IsValidUtf8(const std::string &Text) {
    for (size_t I = 0, Length; I < Text.size(); I += Length)
        if ((Length = Utf8SequenceAt(Text, I)) == 0)
            return false;
    return true;
}

// A JSON string; every byte that is not part of valid UTF-8 becomes U+FFFD, so that the output
// stays valid JSON whatever a file name or a stored text holds.
std::string JsonString(const std::string &Text) {
    std::string Out = "\"";
    for (size_t I = 0; I < Text.size();) {
        const unsigned char C = Text[I];
        const size_t Length = Utf8SequenceAt(Text, I);
        if (Length == 0) {
            Out += "\\ufffd";
            ++I;
            continue;
        }
        if (C == '"' || C == '\\') {
            Out += '\\';
            Out += static_cast<char>(C);
        } else if (C < 0x20 || C == 0x7F) {
            char Esc[8];
            std::snprintf(Esc, sizeof(Esc), "\\u%04x", C);
            Out += Esc;
        } else {
            Out.append(Text, I, Length);
        }
        I += Length;
    }
    return Out + "\"";
}

// The file name twice: as a JSON string (see JsonString), and when it is not valid UTF-8 also
// as the hexadecimal bytes that name it exactly.
std::string JsonFileKeys(const std::string &Path) {
    std::string Hex;
    if (!IsValidUtf8(Path)) {
        static const char Digits[] = "0123456789abcdef";
        for (unsigned char C : Path) {
            Hex += Digits[C >> 4];
            Hex += Digits[C & 15];
        }
    }
    return "  \"json_format_version\": " + std::to_string(JsonFormatVersion) +
           ",\n  \"file\": " + JsonString(Path) +
           ",\n  \"file_hex\": " + (Hex.empty() ? std::string("null") : "\"" + Hex + "\"") +
           ",\n";
}

void PrintJson(const std::string &Path, const TPackageReport &R, bool Accepted) {
    std::string J = "{\n" + JsonFileKeys(Path);
    J += "  \"size\": " + std::to_string(R.FileSize) + ",\n";
    J += "  \"accepted\": " + std::string(Accepted ? "true" : "false") + ",\n";
    J += "  \"fault\": " + (R.Fault.empty() ? std::string("null") : JsonString(R.Fault)) + ",\n";
    if (R.HaveTable) {
        const TLoaderOffsetTable &T = R.Table;
        J += "  \"offset_table\": {\"format_version\": " + std::to_string(T.FormatVersion) +
             ", \"min_file_size\": " + std::to_string(T.MinFileSize) +
             ", \"setup_program_offset\": " + std::to_string(T.SetupProgramOffset) +
             ", \"setup_program_size\": " + std::to_string(T.SetupProgramSize) +
             ", \"setup_program_crc\": " + std::to_string(T.SetupProgramCRC) +
             ", \"setup_data_offset\": " + std::to_string(T.SetupDataOffset) +
             ", \"second_data_offset\": " + std::to_string(T.SecondDataOffset) +
             ", \"table_checksum\": " + std::to_string(T.TableChecksum) +
             ", \"accepted\": " + (R.TableAccepted ? "true" : "false") + "},\n";
    } else {
        J += "  \"offset_table\": null,\n";
    }
    J += "  \"file_map\": [";
    std::vector<TMapEntry> Map = FileMap(R);
    for (size_t I = 0; I < Map.size(); ++I)
        J += std::string(I ? ", " : "") + "{\"area\": " + JsonString(Map[I].Name) +
             ", \"offset\": " + std::to_string(Map[I].Offset) +
             ", \"size\": " + std::to_string(Map[I].Size) + "}";
    J += "],\n";
    if (R.HaveRecords) {
        J += "  \"setup\": {\"application_name\": " +
             JsonString(CodePageToDisplay(R.ApplicationName, NameCodePage(R))) +
             ", \"detect_mode\": " + JsonString(DetectModeName(R.DetectMode)) +
             ", \"detect_mode_value\": " + std::to_string(R.DetectMode) +
             ", \"no_startup_prompt\": " + (R.NoStartupPrompt ? "true" : "false") + "},\n";
    } else {
        J += "  \"setup\": null,\n";
    }
    J += "  \"languages\": [";
    for (size_t I = 0; I < R.Languages.size(); ++I) {
        const TLanguageReport &L = R.Languages[I];
        J += std::string(I ? ", " : "") + "{\"index\": " + std::to_string(I) +
             ", \"name\": " + JsonString(CodePageToDisplay(L.Name, L.CodePage)) +
             ", \"langid\": " + std::to_string(L.LanguageId) +
             ", \"codepage\": " + std::to_string(L.CodePage) +
             ", \"message_block_size\": " + std::to_string(L.MessageBlockSize) +
             ", \"message_block_valid\": " + (L.MessageBlockValid ? "true" : "false") + "}";
    }
    J += "],\n";
    if (R.HaveHeaders)
        J += "  \"pe_checksum\": {\"stored\": " + std::to_string(R.Pe.StoredChecksum) +
             ", \"computed\": " + std::to_string(R.ComputedChecksum) + ", \"valid\": " +
             (R.Pe.StoredChecksum == R.ComputedChecksum ? "true" : "false") + "},\n";
    else
        J += "  \"pe_checksum\": null,\n";
    J += "  \"notes\": [";
    for (size_t I = 0; I < R.Notes.size(); ++I)
        J += std::string(I ? ", " : "") + JsonString(R.Notes[I]);
    J += "]\n}\n";
    std::fputs(J.c_str(), stdout);
}

void PrintText(const std::string &Path, const TPackageReport &R) {
    std::printf("File: %s (%llu bytes)\n", Path.c_str(), static_cast<unsigned long long>(R.FileSize));
    if (R.HaveTable) {
        const TLoaderOffsetTable &T = R.Table;
        std::printf("\nOffset table (%s)\n", R.TableAccepted ? "accepted" : "refused");
        std::printf("  FormatVersion       %u\n", T.FormatVersion);
        std::printf("  MinFileSize         %u\n", T.MinFileSize);
        std::printf("  SetupProgramOffset  %u\n", T.SetupProgramOffset);
        std::printf("  SetupProgramSize    %u\n", T.SetupProgramSize);
        std::printf("  SetupProgramCRC     0x%08X\n", T.SetupProgramCRC);
        std::printf("  SetupDataOffset     %u\n", T.SetupDataOffset);
        std::printf("  SecondDataOffset    %u\n", T.SecondDataOffset);
        std::printf("  TableChecksum       0x%08X\n", T.TableChecksum);
    }
    std::vector<TMapEntry> Map = FileMap(R);
    if (!Map.empty()) {
        std::printf("\nFile map\n");
        for (const TMapEntry &E : Map)
            std::printf("  %10llu .. %10llu  %-22s %llu bytes\n",
                        static_cast<unsigned long long>(E.Offset),
                        static_cast<unsigned long long>(E.Offset + E.Size), E.Name.c_str(),
                        static_cast<unsigned long long>(E.Size));
    }
    if (R.HaveRecords) {
        std::printf("\nSetup header\n");
        std::printf("  Application name    %s\n",
                    CodePageToDisplay(R.ApplicationName, NameCodePage(R)).c_str());
        std::printf("  Language detection  %s (%u)\n", DetectModeName(R.DetectMode).c_str(),
                    R.DetectMode);
        std::printf("  Startup question    %s\n", R.NoStartupPrompt ? "not asked" : "asked");
        std::printf("\nLanguages (%zu)\n", R.Languages.size());
        for (size_t I = 0; I < R.Languages.size(); ++I) {
            const TLanguageReport &L = R.Languages[I];
            std::printf("  %zu  %-12s LANGID 0x%04X  code page %-5u message block %llu bytes, %s\n",
                        I, CodePageToDisplay(L.Name, L.CodePage).c_str(), L.LanguageId,
                        L.CodePage, static_cast<unsigned long long>(L.MessageBlockSize),
                        L.MessageBlockValid ? "valid" : "INVALID");
        }
    }
    if (R.HaveHeaders)
        std::printf("\nPE checksum 0x%08X (%s)\n", R.Pe.StoredChecksum,
                    R.Pe.StoredChecksum == R.ComputedChecksum ? "valid" : "does not match");
    for (const std::string &N : R.Notes)
        std::printf("Note: %s\n", N.c_str());
    if (R.Fault.empty())
        std::printf("\nThe loader would accept this file (setup program not decoded; "
                    "run verify for that).\n");
    else
        std::printf("\nFAULT: %s\n", R.Fault.c_str());
}

std::string OnePath(const TArgs &Args, const char *Command) {
    if (Args.Positional.size() != 1)
        throw EUsage(std::string(Command) + " takes exactly one installer file");
    return Args.Positional[0];
}

const option JsonOptions[] = {
    {"json", no_argument, nullptr, OptJson},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

int RunInspect(int Argc, char **Argv) {
    TArgs Args = ParseArgs(Argc, Argv, "h", JsonOptions);
    if (Args.Has('h')) {
        std::fputs(InspectHelp, stdout);
        return ExitOk;
    }
    std::string Path = OnePath(Args, "inspect");
    TPackageReport Report = ReadPackage(Path, /*DecodeProgram=*/false);
    if (Args.Has(OptJson))
        PrintJson(Path, Report, Report.Fault.empty());
    else
        PrintText(Path, Report);
    return Report.Fault.empty() ? ExitOk : ExitRefused;
}

void PrintVerifyJson(const std::string &Path, const TPackageReport &R) {
    std::string J = "{\n" + JsonFileKeys(Path);
    J += "  \"accepted\": " + std::string(R.Fault.empty() ? "true" : "false") + ",\n";
    J += "  \"fault\": " + (R.Fault.empty() ? std::string("null") : JsonString(R.Fault)) + ",\n";
    J += "  \"languages\": " + std::to_string(R.Languages.size()) + ",\n";
    J += "  \"setup_program_size\": " +
         (R.TableAccepted ? std::to_string(R.Table.SetupProgramSize) : std::string("null")) + ",\n";
    J += "  \"notes\": [";
    for (size_t I = 0; I < R.Notes.size(); ++I)
        J += std::string(I ? ", " : "") + JsonString(R.Notes[I]);
    J += "]\n}\n";
    std::fputs(J.c_str(), stdout);
}

int RunVerify(int Argc, char **Argv) {
    TArgs Args = ParseArgs(Argc, Argv, "h", JsonOptions);
    if (Args.Has('h')) {
        std::fputs(VerifyHelp, stdout);
        return ExitOk;
    }
    std::string Path = OnePath(Args, "verify");
    TProgressLine Line;
    TPackageReport Report =
        ReadPackage(Path, /*DecodeProgram=*/true,
                    [&](const std::string &Phase, uint64_t Done, uint64_t Total) {
                        Line.Show(Phase, Done, Total);
                    });
    Line.Clear();
    if (Args.Has(OptJson)) {
        PrintVerifyJson(Path, Report);
        return Report.Fault.empty() ? ExitOk : ExitRefused;
    }
    for (const std::string &N : Report.Notes)
        std::fprintf(stderr, "quovpack: note: %s\n", N.c_str());
    if (!Report.Fault.empty()) {
        std::printf("%s: FAULT: %s\n", Path.c_str(), Report.Fault.c_str());
        return ExitRefused;
    }
    std::printf("%s: OK: the loader would accept it (%zu language(s), setup program %u bytes)\n",
                Path.c_str(), Report.Languages.size(), Report.Table.SetupProgramSize);
    return ExitOk;
}

int RunExtract(int Argc, char **Argv) {
    static const option LongOptions[] = {
        {"output", required_argument, nullptr, 'o'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    TArgs Args = ParseArgs(Argc, Argv, "o:h", LongOptions);
    if (Args.Has('h')) {
        std::fputs(ExtractHelp, stdout);
        return ExitOk;
    }
    std::string Path = OnePath(Args, "extract");
    std::string Output = Args.Required('o');
    try {
        ExtractProgram(Path, Output);
    } catch (const EPackageFault &E) {
        std::printf("%s: FAULT: %s\n", Path.c_str(), E.Message().c_str());
        return ExitRefused;
    }
    return ExitOk;
}

int Run(int Argc, char **Argv) {
    if (Argc < 2)
        throw EUsage("a command is needed");
    std::string Command = Argv[1];
    if (Command == "-h" || Command == "--help" || Command == "help") {
        std::fputs(GeneralHelp, stdout);
        return ExitOk;
    }
    if (Command == "--version") {
        std::printf("quovpack %s\n"
                    "installers: offset table format %u, LZMA lc3 lp0 pb2, setup program "
                    "dictionary %u MiB unless --dict-size says otherwise\n"
                    "installed stub and message files: %s\n",
                    QUOVPACK_VERSION, OffsetTableFormatVersion, DefaultProgramDictionarySize >> 20,
                    InstalledDataDirectory().c_str());
        return ExitOk;
    }
    // The command word becomes the parser's program name.
    if (Command == "pack")
        return RunPack(Argc - 1, Argv + 1);
    if (Command == "inspect")
        return RunInspect(Argc - 1, Argv + 1);
    if (Command == "verify")
        return RunVerify(Argc - 1, Argv + 1);
    if (Command == "extract")
        return RunExtract(Argc - 1, Argv + 1);
    throw EUsage("unknown command \"" + Command + "\"");
}

} // namespace

int main(int Argc, char **Argv) {
    InstallInterruptCleanup();
    try {
        return Run(Argc, Argv);
    } catch (const EUsage &E) {
        Error(E.Message);
        std::fputs("Run 'quovpack --help' for usage.\n", stderr);
        return ExitUsage;
    } catch (const EOutputIsInput &E) {
        Error(E.Message());
        return ExitUsage;
    } catch (const EPackWarnings &E) {
        for (const std::string &W : E.Warnings)
            Error(W);
        Error(E.Message());
        return ExitInput;
    } catch (const EInputError &E) {
        Error(E.Message());
        return ExitInput;
    } catch (const EOutputError &E) {
        Error(E.Message());
        return ExitOutput;
    } catch (const std::bad_alloc &) {
        Error("out of memory");
        return ExitInternal;
    } catch (const Exception &E) {
        Error(CodePageToDisplay(E.Message(), 936));
        return ExitInternal;
    }
}
