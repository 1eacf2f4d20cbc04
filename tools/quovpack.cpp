// quovpack: packs a setup program into the loader stub, and inspects, verifies and unpacks
// packaged installers with the loader's own reading code. The commands and their exit codes;
// options are parsed by tools/command_options.h, reports formatted by tools/report_format.h.
#include <chrono>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "support/builtin_texts.h"
#include "tools/command_options.h"
#include "tools/default_languages.h"
#include "tools/file_tree_packer.h"
#include "tools/host_files.h"
#include "tools/package_builder.h"
#include "tools/package_reader.h"
#include "tools/report_format.h"
#include "tools/sign_command.h"
#include "tools/text_codec.h"

namespace {

// Exit codes, as documented in --help and tools/README.md.
constexpr int ExitOk = 0;
constexpr int ExitRefused = 1;   // the loader would refuse the installer (verify, inspect, extract)
constexpr int ExitUsage = 2;     // bad command line
constexpr int ExitInput = 3;     // an input is missing, unreadable or unusable
constexpr int ExitOutput = 4;    // the output cannot be written
constexpr int ExitInternal = 5;  // out of memory or an unexpected failure

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
    "  languages list the default languages (the installed message files) for --lang\n"
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

// How pack and extract write their output, for their help.
#define OUTPUT_RULES                                                                              \
    "A symbolic link is followed to the file it names. A regular file is written to a\n"         \
    "temporary file beside it and renamed when complete, keeping the permission bits of the\n"   \
    "file it replaces; after any failure or interruption neither a partial output nor a\n"       \
    "temporary file is left. A character device or a FIFO (/dev/null, a pipe) is written\n"      \
    "straight.\n"

const TCommandSpec PackCommand = {
    "pack",
    "usage: quovpack pack --program FILE --name TEXT -o OUT [--stub FILE] [--lang LANG...]\n"
    "                     [--detect ui|locale|none] [--no-prompt] [--second-data FILE]\n"
    "                     [--setup-data FILE] [--dict-size SIZE] [--werror]\n"
    "                     [--sign-command CMD]\n"
    "       quovpack pack --files DIR --name TEXT -o OUT [--run \"PATH ARGS\"] [--zero-times]\n"
    "                     [--program FILE] [other options as above]\n",
    "Writes OUT: the stub with its offset table filled in, the second data area, the setup\n"
    "data and the compressed setup program, with the PE checksum set. The same inputs always\n"
    "give the same bytes. OUT ends on an 8-byte boundary (zeros behind the recorded length),\n"
    "so a signer appends its certificate table without padding the file first.\n\n" OUTPUT_RULES,
    {
        {"program", 0, "FILE",
         "the setup program to run: a Windows GUI or console program\n"
         "below 2 GiB (DLLs, text and other files are refused)"},
        {"name", 0, "TEXT",
         "application name for the startup question, in UTF-8; it is stored\n"
         "in the code page of the first --lang whose code page is not 0,\n"
         "and must be ASCII when every language has code page 0"},
        {"output", 'o', "OUT", "the installer to write; it must not name one of the inputs"},
        {"stub", 0, "FILE",
         "the loader executable (quovldr.exe), unpacked; default: the\n"
         "installed one"},
        {"lang", 0, "LANG",
         "a language: a message file (see messages/README.md), or the\n"
         "short name of a default language (de, ja, pt_BR, ...; see\n"
         "'quovpack languages'), or all for every default language,\n"
         "English first; a value that names an existing file, holds a /\n"
         "or ends in .txt is a file; repeat for more languages; the first\n"
         "one is the fallback; default: en and zh_CN"},
        {"detect", 0, "MODE",
         "how the loader picks a language when /Lang= does not:\n"
         "ui (user interface language, default), locale (user locale),\n"
         "none (always the first language)"},
        {"no-prompt", 0, nullptr, "do not ask the startup question"},
        {"second-data", 0, "FILE", "bytes placed right behind the stub, for the setup program"},
        {"setup-data", 0, "FILE", "bytes placed behind the setup records, for the setup program"},
        {"dict-size", 0, "SIZE",
         "LZMA dictionary for the setup program (and for the files of\n"
         "--files), 4K to 64M (K and M are KiB and MiB; default 16M, 64M\n"
         "for the files); smaller data get the smallest dictionary that\n"
         "holds them"},
        {"werror", 0, nullptr, "treat warnings as errors: write nothing when there is one"},
        {"sign-command", 0, "CMD",
         "sign the finished installer before it gets its name: CMD runs\n"
         "under /bin/sh (on Windows: cmd /c) with %1 replaced by the file's\n"
         "temporary path (quoted for the shell; %% is a %), and must sign\n"
         "that file in place; then the loader must still accept it and its\n"
         "signature must match it, or nothing is written (exit code 4)"},
        {"files", 0, "DIR",
         "install the folder DIR: its files and folders become the setup\n"
         "data, and the installed quovfiles.exe (which installs them) the\n"
         "setup program unless --program names another; symbolic links and\n"
         "names Windows cannot hold are refused"},
        {"run", 0, "\"PATH ARGS\"",
         "with --files: run PATH (relative to the installed folder) after\n"
         "installing, and end with its exit code"},
        {"zero-times", 0, nullptr,
         "with --files: store no modification times (reproducible builds)"},
    },
    "Warnings (on stderr): an x64, ARM or Itanium program (it starts only on such Windows),\n"
    "an application name that some language's code page shows wrongly, a loader message that\n"
    "is empty or has a placeholder the loader does not fill, two languages with one name, the\n"
    "loader's x64 test build as the stub (its installers start only on 64-bit Windows).\n"
    "\n"
    "A progress line with percentage and rate is shown on stderr when it is a terminal. The\n"
    "summary line goes to stdout, or to stderr when OUT is a device or a FIFO.\n"
    "Exit codes: 0 written, 2 bad command line or OUT names an input, 3 an input was refused\n"
    "(or a warning with --werror), 4 OUT could not be written or signed, 5 internal.\n",
};


const TCommandSpec InspectCommand = {
    "inspect",
    "usage: quovpack inspect FILE [--json]\n",
    "Shows the offset table, the map of the file (image, second data area, setup data,\n"
    "program block, bytes behind MinFileSize), the setup header (application name, language\n"
    "detection, startup question), each language with the state of its message block, and\n"
    "the code signature: whether the file still matches what was signed, digest algorithm,\n"
    "signer, issuer, time stamp, and bytes behind or inside the certificate table.\n"
    "Reads with the loader's code but does not decode the setup program (use verify).\n",
    {{"json", 0, nullptr,
      "print one JSON object instead of text (tools/README.md lists its keys)"}},
    "Exit codes: 0 readable and accepted so far, 1 the loader would refuse it (the fault is\n"
    "shown), 2 bad command line, 3 FILE cannot be read, 5 internal error.\n",
};

const TCommandSpec VerifyCommand = {
    "verify",
    "usage: quovpack verify FILE [--json]\n",
    "Makes every check the loader makes: the offset table (found, 44 bytes, version, CRC), the\n"
    "file length, the setup data signature, the setup records, every language's message\n"
    "block, every chunk CRC, the full decode of the setup program, its call transform and\n"
    "CRC. Then the code signature, if there is one: the image hash recomputed over the file\n"
    "and compared with the signed one, and the signer's signature over it (the certificate\n"
    "chain is not judged). Runs nothing and writes no file. Prints one line: OK with the\n"
    "signature's state, or the first fault with the check, the structure and its file offset;\n"
    "a signature that does not match the file is a fault.\n",
    {{"json", 0, nullptr, "print one JSON object instead of the line"}},
    "Exit codes: 0 the loader would accept FILE and its signature (if any) matches, 1 it would\n"
    "refuse it or the signature does not match, 2 bad command line,\n"
    "3 FILE cannot be read, 5 out of memory or internal error.\n",
};

const TCommandSpec ExtractCommand = {
    "extract",
    "usage: quovpack extract FILE -o PATH\n",
    "Checks FILE as the loader does before extraction and writes the setup program to PATH,\n"
    "byte for byte as the loader would write it. PATH must not name FILE.\n\n" OUTPUT_RULES,
    {{"output", 'o', "PATH", "where to write the setup program"}},
    "Exit codes: 0 written, 1 the loader would refuse FILE, 2 bad command line or PATH names\n"
    "FILE, 3 FILE cannot be read, 4 PATH cannot be written, 5 internal error.\n",
};

// A line on stderr that shows what a long command is doing; only on a terminal. A measured
// phase shows its percentage and its rate since the phase began.
class TProgressLine {
public:
    using TClock = std::chrono::steady_clock;

    TProgressLine() : FEnabled(StandardErrorIsTerminal()) {}
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

void Warn(const std::string &Text) { std::fprintf(stderr, "quovpack: warning: %s\n", Text.c_str()); }
void Error(const std::string &Text) { std::fprintf(stderr, "quovpack: error: %s\n", Text.c_str()); }

// Where an installed quovpack finds the stub and the default message files: the data folder
// at QUOVPACK_DATA_FROM_BIN relative to the program's own folder (so the installed tree can
// be moved as a whole; the same layout on Linux and Windows). Empty when the program's path
// cannot be read.
std::string InstalledDataDirectory() {
    std::string Folder = RunningProgramFolder();
    if (Folder.empty())
        return Folder;
    std::string Relative = QUOVPACK_DATA_FROM_BIN;
    size_t Slash;
    while (Relative.compare(0, 3, "../") == 0 &&
           (Slash = Folder.find_last_of("/\\")) != std::string::npos) {
        Folder.erase(Slash);
        Relative.erase(0, 3);
    }
    for (char &C : Relative)
        if (C == '/')
            C = HostPathSeparator[0];
    return Relative.empty() ? Folder : Folder + HostPathSeparator + Relative;
}

// The arguments behind the command word, parsed by the command's table; false after printing
// the help the arguments asked for.
bool ParseOrHelp(const std::vector<std::string> &Words, const TCommandSpec &Command, TArgs &Args,
                 const std::string &HelpTail = std::string()) {
    Args = ParseArgs(Words, Command);
    if (!Args.Has("help"))
        return true;
    std::fputs((FormatHelp(Command) + HelpTail).c_str(), stdout);
    return false;
}

uint8_t ParseDetectMode(const std::string &Detect) {
    for (uint8_t Mode : {DetectByUILanguage, DetectByUserLocale, DetectNone})
        if (Detect == DetectModeName(Mode))
            return Mode;
    if (Detect.empty())
        return DetectByUILanguage;
    throw EUsage("--detect must be ui, locale or none, not \"" + Detect + "\"");
}

int RunPack(const std::vector<std::string> &Words) {
    const std::string DataDirectory = InstalledDataDirectory();
    TArgs Args;
    if (!ParseOrHelp(Words, PackCommand, Args,
                     "\nThe installed stub and message files are looked for in " + DataDirectory +
                         ".\n"))
        return ExitOk;
    if (!Args.Positional.empty())
        throw EUsage("unexpected argument " + Args.Positional[0]);
    TPackOptions Options;
    if (Args.Has("files") && !Args.Has("program"))
        Options.ProgramPath = DataDirectory + HostPathSeparator + FileTreeSetupProgramName;
    else
        Options.ProgramPath = Args.Required("program");
    Options.ApplicationName = Args.Required("name");
    Options.OutputPath = Args.Required("output");
    if (Args.Has("stub")) {
        Options.StubPath = Args.Required("stub");
    } else {
        Options.StubPath = DataDirectory + HostPathSeparator + "quovldr.exe";
        if (!PathExists(Options.StubPath))
            throw EUsage("--stub is required: there is no installed stub " + Options.StubPath);
    }
    Options.LanguagePaths = ResolveLanguageValues(Args.All("lang"), DataDirectory + HostPathSeparator + "messages");
    if (Options.LanguagePaths.empty()) {
        for (const char *Name : DefaultLanguageFiles) {
            Options.LanguagePaths.push_back(DataDirectory + HostPathSeparator + "messages" + HostPathSeparator + Name);
            if (!PathExists(Options.LanguagePaths.back()))
                throw EUsage("--lang is required: there is no installed message file " +
                             Options.LanguagePaths.back());
        }
    }
    Options.DetectMode = ParseDetectMode(Args.One("detect"));
    if (Args.Has("dict-size")) {
        const std::string Text = Args.One("dict-size");
        const uint64_t Size = ParseSize(Text);
        if (Size < MinProgramDictionarySize || Size > MaxProgramDictionarySize)
            throw EUsage("--dict-size must be a size from 4K to 64M (the loader's limit), not \"" +
                         Text + "\"");
        Options.DictionarySize = static_cast<uint32_t>(Size);
    }
    Options.NoStartupPrompt = Args.Has("no-prompt");
    Options.WarningsAreErrors = Args.Has("werror");
    Options.SecondDataPath = Args.One("second-data");
    Options.SetupDataPath = Args.One("setup-data");
    // --files: the stored folder is the setup data, built in memory.
    if (Args.Has("files")) {
        if (Args.Has("setup-data"))
            throw EUsage("--files and --setup-data both fill the setup data: give one");
        Options.SetupDataBytes = BuildFileTreeArea(
            ScanHostTree(Args.One("files"), Args.Has("zero-times")), Args.One("run"),
            Args.Has("dict-size") ? Options.DictionarySize : DefaultFileTreeDictionarySize);
    } else if (Args.Has("run") || Args.Has("zero-times")) {
        throw EUsage("--run and --zero-times go with --files");
    }

    TProgressLine Line;
    const std::string SignCommand = Args.Has("sign-command") ? Args.Required("sign-command") : "";
    if (!SignCommand.empty())
        Options.Finish = [&](const std::string &TemporaryPath) {
            Line.Show("signing");
            Line.Clear(); // the command may print
            SignInstaller(SignCommand, TemporaryPath);
        };
    TPackResult Result = PackInstaller(
        Options, [&](const std::string &Phase, uint64_t Done, uint64_t Total) {
            Line.Show(Phase, Done, Total);
        });
    Line.Clear();
    for (const std::string &W : Result.Warnings)
        Warn(W);
    // A device or FIFO output may be stdout itself: the summary must not land in the installer.
    uint64_t Size = 0;
    if (Result.Streamed || !HostFileSize(Options.OutputPath, Size))
        Size = Result.Table.MinFileSize + CertificateAlignmentPadding(Result.Table.MinFileSize);
    std::fprintf(Result.Streamed ? stderr : stdout,
                 "wrote %s: %llu bytes%s, %zu language(s), setup program %u bytes in a %llu-byte "
                 "block, PE checksum 0x%08X%s\n",
                 Options.OutputPath.c_str(), static_cast<unsigned long long>(Size),
                 SignCommand.empty() ? "" : " (signed)", Options.LanguagePaths.size(),
                 Result.Table.SetupProgramSize,
                 static_cast<unsigned long long>(Result.ProgramBlockSize), Result.PeChecksum,
                 SignCommand.empty() ? "" : " before signing");
    return ExitOk;
}

std::string OnePath(const TArgs &Args, const char *Command) {
    if (Args.Positional.size() != 1)
        throw EUsage(std::string(Command) + " takes exactly one installer file");
    return Args.Positional[0];
}

int RunInspect(const std::vector<std::string> &Words) {
    TArgs Args;
    if (!ParseOrHelp(Words, InspectCommand, Args))
        return ExitOk;
    const std::string Path = OnePath(Args, "inspect");
    const TPackageReport Report = ReadPackage(Path, /*DecodeProgram=*/false);
    std::fputs((Args.Has("json") ? FormatInspectJson(Path, Report)
                                 : FormatInspectText(Path, Report))
                   .c_str(),
               stdout);
    return Report.Fault.empty() ? ExitOk : ExitRefused;
}

int RunVerify(const std::vector<std::string> &Words) {
    TArgs Args;
    if (!ParseOrHelp(Words, VerifyCommand, Args))
        return ExitOk;
    const std::string Path = OnePath(Args, "verify");
    TProgressLine Line;
    const TPackageReport Report =
        ReadPackage(Path, /*DecodeProgram=*/true,
                    [&](const std::string &Phase, uint64_t Done, uint64_t Total) {
                        Line.Show(Phase, Done, Total);
                    });
    Line.Clear();
    if (Args.Has("json")) {
        std::fputs(FormatVerifyJson(Path, Report).c_str(), stdout);
    } else {
        for (const std::string &N : Report.Notes)
            std::fprintf(stderr, "quovpack: note: %s\n", N.c_str());
        std::fputs(FormatVerifyLine(Path, Report).c_str(), stdout);
    }
    return Report.Fault.empty() && Report.StoredFolderFault.empty() ? ExitOk : ExitRefused;
}

int RunExtract(const std::vector<std::string> &Words) {
    TArgs Args;
    if (!ParseOrHelp(Words, ExtractCommand, Args))
        return ExitOk;
    const std::string Path = OnePath(Args, "extract");
    const std::string Output = Args.Required("output");
    try {
        ExtractProgram(Path, Output);
    } catch (const EPackageFault &E) {
        std::printf("%s: FAULT: %s\n", Path.c_str(), E.Message().c_str());
        return ExitRefused;
    }
    return ExitOk;
}

// Argv: the program's name, the command word, then the command's own arguments.
int Run(const std::vector<std::string> &Argv) {
    if (Argv.size() < 2)
        throw EUsage("a command is needed");
    const std::string Command = Argv[1];
    const std::vector<std::string> Words(Argv.begin() + 2, Argv.end());
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
    // Each command parses what follows its word.
    if (Command == PackCommand.Name)
        return RunPack(Words);
    if (Command == InspectCommand.Name)
        return RunInspect(Words);
    if (Command == VerifyCommand.Name)
        return RunVerify(Words);
    if (Command == ExtractCommand.Name)
        return RunExtract(Words);
    if (Command == "languages") {
        std::fputs(FormatDefaultLanguages(InstalledDataDirectory() + HostPathSeparator + "messages").c_str(), stdout);
        return ExitOk;
    }
    throw EUsage("unknown command \"" + Command + "\"");
}

} // namespace

int main(int Argc, char **Argv) {
    InstallInterruptCleanup();
    try {
        return Run(HostArguments(Argc, Argv));
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
        Error(CodePageToDisplay(E.Message(), BuiltinTextCodePage));
        return ExitInternal;
    }
}
