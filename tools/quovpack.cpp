// quovpack: packs a setup program into the loader stub, and inspects, verifies and unpacks
// packaged installers with the loader's own reading code.
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

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

const char GeneralHelp[] =
    "usage: quovpack <command> [options]\n"
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
    "  2  bad command line\n"
    "  3  an input file is missing, unreadable or unusable; nothing was written\n"
    "  4  the output could not be written; nothing was left behind\n"
    "  5  out of memory or an internal error\n";

const char PackHelp[] =
    "usage: quovpack pack --stub FILE --program FILE --name TEXT --lang FILE [--lang FILE...]\n"
    "                     [--detect ui|locale|none] [--no-prompt] [--second-data FILE]\n"
    "                     [--setup-data FILE] -o OUT\n"
    "\n"
    "Writes OUT: the stub with its offset table filled in, the second data area, the setup\n"
    "data and the compressed setup program, then sets the PE checksum. OUT is written to a\n"
    "temporary file beside it and renamed at the end; after any failure no OUT is left.\n"
    "The same inputs always give the same bytes.\n"
    "\n"
    "  --stub FILE         the loader executable (quovldr.exe), unpacked\n"
    "  --program FILE      the setup program to run (below 2 GiB)\n"
    "  --name TEXT         application name for the startup question, in UTF-8; it is stored\n"
    "                      in the code page of the first --lang whose code page is not 0,\n"
    "                      and must be ASCII when every language has code page 0\n"
    "  --lang FILE         a message file (see messages/README.md); repeat for more\n"
    "                      languages; the first one is the fallback\n"
    "  --detect MODE       how the loader picks a language when /Lang= does not:\n"
    "                      ui (user interface language, default), locale (user locale),\n"
    "                      none (always the first language)\n"
    "  --no-prompt         do not ask the startup question\n"
    "  --second-data FILE  bytes placed right behind the stub, for the setup program\n"
    "  --setup-data FILE   bytes placed behind the setup records, for the setup program\n"
    "  -o, --output OUT    the installer to write\n"
    "\n"
    "A progress line is shown on stderr when it is a terminal. Exit codes: 0 written,\n"
    "2 bad command line, 3 an input was refused, 4 OUT could not be written, 5 internal.\n";

const char InspectHelp[] =
    "usage: quovpack inspect FILE [--json]\n"
    "\n"
    "Shows the offset table, the map of the file (image, second data area, setup data,\n"
    "program block, bytes behind MinFileSize), the setup header (application name, language\n"
    "detection, startup question) and each language with the state of its message block.\n"
    "Reads with the loader's code but does not decode the setup program (use verify).\n"
    "\n"
    "  --json   print one JSON object instead of text\n"
    "\n"
    "Exit codes: 0 readable and accepted so far, 1 the loader would refuse it (the fault is\n"
    "shown), 2 bad command line, 3 FILE cannot be opened.\n";

const char VerifyHelp[] =
    "usage: quovpack verify FILE\n"
    "\n"
    "Makes every check the loader makes: the offset table (found, 44 bytes, version, CRC), the\n"
    "file length, the setup data signature, the setup records, every language's message\n"
    "block, every chunk CRC, the full decode of the setup program, its call transform and\n"
    "CRC. Runs nothing. Prints one line: OK, or the first fault.\n"
    "\n"
    "Exit codes: 0 the loader would accept FILE, 1 it would refuse it, 2 bad command line,\n"
    "3 FILE cannot be opened, 5 internal error.\n";

const char ExtractHelp[] =
    "usage: quovpack extract FILE -o PATH\n"
    "\n"
    "Checks FILE as the loader does before extraction and writes the setup program to PATH,\n"
    "byte for byte as the loader would write it. PATH appears only when it is complete.\n"
    "\n"
    "Exit codes: 0 written, 1 the loader would refuse FILE, 2 bad command line, 3 FILE cannot\n"
    "be opened, 4 PATH cannot be written.\n";

class EUsage {
public:
    explicit EUsage(std::string Text) : Message(std::move(Text)) {}
    std::string Message;
};

// A line on stderr that shows what a long command is doing; only on a terminal.
class TProgressLine {
public:
    TProgressLine() : FEnabled(::isatty(2) != 0) {}
    ~TProgressLine() { Clear(); }
    void Show(const std::string &Text) {
        if (!FEnabled)
            return;
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
};

// Options of one command: "--name VALUE", "--name=VALUE", flags, and positional arguments.
struct TArgs {
    std::multimap<std::string, std::string> Values;
    std::vector<std::string> Flags;
    std::vector<std::string> Positional;

    bool Has(const std::string &Flag) const {
        for (const std::string &F : Flags)
            if (F == Flag)
                return true;
        return false;
    }
    std::string One(const std::string &Name) const {
        if (Values.count(Name) > 1)
            throw EUsage("--" + Name + " is given more than once");
        auto It = Values.find(Name);
        return It == Values.end() ? std::string() : It->second;
    }
    std::string Required(const std::string &Name) const {
        std::string Value = One(Name);
        if (Values.count(Name) == 0)
            throw EUsage("--" + Name + " is required");
        if (Value.empty())
            throw EUsage("--" + Name + " must not be empty");
        return Value;
    }
    std::vector<std::string> All(const std::string &Name) const {
        std::vector<std::string> Result;
        auto Range = Values.equal_range(Name);
        for (auto It = Range.first; It != Range.second; ++It)
            Result.push_back(It->second);
        return Result;
    }
};

TArgs ParseArgs(int Argc, char **Argv, int First, const std::vector<std::string> &ValueOptions,
                const std::vector<std::string> &FlagOptions) {
    TArgs Args;
    bool OnlyPositional = false;
    for (int I = First; I < Argc; ++I) {
        std::string Arg = Argv[I];
        if (OnlyPositional || Arg.size() < 2 || Arg[0] != '-') {
            Args.Positional.push_back(Arg);
            continue;
        }
        if (Arg == "--") {
            OnlyPositional = true;
            continue;
        }
        std::string Name, Value;
        bool HaveValue = false;
        if (Arg == "-o") {
            Name = "output";
        } else if (Arg == "-h") {
            Name = "help";
        } else if (Arg.compare(0, 2, "--") == 0) {
            Name = Arg.substr(2);
            size_t Equals = Name.find('=');
            if (Equals != std::string::npos) {
                Value = Name.substr(Equals + 1);
                Name.erase(Equals);
                HaveValue = true;
            }
        } else {
            throw EUsage("unknown option " + Arg);
        }
        bool IsValue = false, IsFlag = false;
        for (const std::string &V : ValueOptions)
            IsValue |= V == Name;
        for (const std::string &F : FlagOptions)
            IsFlag |= F == Name;
        if (IsFlag) {
            if (HaveValue)
                throw EUsage("--" + Name + " takes no value");
            Args.Flags.push_back(Name);
        } else if (IsValue) {
            if (!HaveValue) {
                if (I + 1 >= Argc)
                    throw EUsage("--" + Name + " needs a value");
                Value = Argv[++I];
            }
            Args.Values.emplace(Name, Value);
        } else {
            throw EUsage("unknown option " + Arg);
        }
    }
    return Args;
}

void Warn(const std::string &Text) { std::fprintf(stderr, "quovpack: warning: %s\n", Text.c_str()); }
void Error(const std::string &Text) { std::fprintf(stderr, "quovpack: error: %s\n", Text.c_str()); }

int RunPack(int Argc, char **Argv) {
    TArgs Args = ParseArgs(Argc, Argv, 2,
                           {"stub", "program", "name", "lang", "detect", "second-data",
                            "setup-data", "output"},
                           {"no-prompt", "help"});
    if (Args.Has("help")) {
        std::fputs(PackHelp, stdout);
        return ExitOk;
    }
    if (!Args.Positional.empty())
        throw EUsage("unexpected argument " + Args.Positional[0]);
    TPackOptions Options;
    Options.StubPath = Args.Required("stub");
    Options.ProgramPath = Args.Required("program");
    Options.ApplicationName = Args.Required("name");
    Options.LanguagePaths = Args.All("lang");
    if (Options.LanguagePaths.empty())
        throw EUsage("--lang is required (at least one message file)");
    std::string Detect = Args.One("detect");
    if (Detect.empty() || Detect == "ui")
        Options.DetectMode = 0;
    else if (Detect == "locale")
        Options.DetectMode = 1;
    else if (Detect == "none")
        Options.DetectMode = 2;
    else
        throw EUsage("--detect must be ui, locale or none, not \"" + Detect + "\"");
    Options.NoStartupPrompt = Args.Has("no-prompt");
    Options.SecondDataPath = Args.One("second-data");
    Options.SetupDataPath = Args.One("setup-data");
    Options.OutputPath = Args.Required("output");

    TProgressLine Line;
    TPackResult Result = PackInstaller(
        Options, [&](const std::string &Phase, uint64_t Done, uint64_t Total) {
            if (Total == 0)
                Line.Show(Phase + "...");
            else
                Line.Show(Phase + " " + std::to_string(Done * 100 / Total) + "%");
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

std::string JsonString(const std::string &Utf8) {
    std::string Out = "\"";
    for (unsigned char C : Utf8) {
        if (C == '"' || C == '\\') {
            Out += '\\';
            Out += static_cast<char>(C);
        } else if (C < 0x20) {
            char Esc[8];
            std::snprintf(Esc, sizeof(Esc), "\\u%04x", C);
            Out += Esc;
        } else {
            Out += static_cast<char>(C);
        }
    }
    return Out + "\"";
}

void PrintJson(const std::string &Path, const TPackageReport &R, bool Accepted) {
    std::string J = "{\n";
    J += "  \"file\": " + JsonString(Path) + ",\n";
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

int RunInspect(int Argc, char **Argv) {
    TArgs Args = ParseArgs(Argc, Argv, 2, {}, {"json", "help"});
    if (Args.Has("help")) {
        std::fputs(InspectHelp, stdout);
        return ExitOk;
    }
    std::string Path = OnePath(Args, "inspect");
    TPackageReport Report = ReadPackage(Path, /*DecodeProgram=*/false);
    if (Args.Has("json"))
        PrintJson(Path, Report, Report.Fault.empty());
    else
        PrintText(Path, Report);
    return Report.Fault.empty() ? ExitOk : ExitRefused;
}

int RunVerify(int Argc, char **Argv) {
    TArgs Args = ParseArgs(Argc, Argv, 2, {}, {"help"});
    if (Args.Has("help")) {
        std::fputs(VerifyHelp, stdout);
        return ExitOk;
    }
    std::string Path = OnePath(Args, "verify");
    TProgressLine Line;
    TPackageReport Report =
        ReadPackage(Path, /*DecodeProgram=*/true, [&](const std::string &P) { Line.Show(P + "..."); });
    Line.Clear();
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
    TArgs Args = ParseArgs(Argc, Argv, 2, {"output"}, {"help"});
    if (Args.Has("help")) {
        std::fputs(ExtractHelp, stdout);
        return ExitOk;
    }
    std::string Path = OnePath(Args, "extract");
    std::string Output = Args.Required("output");
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
    if (Command == "pack")
        return RunPack(Argc, Argv);
    if (Command == "inspect")
        return RunInspect(Argc, Argv);
    if (Command == "verify")
        return RunVerify(Argc, Argv);
    if (Command == "extract")
        return RunExtract(Argc, Argv);
    throw EUsage("unknown command \"" + Command + "\"");
}

} // namespace

int main(int Argc, char **Argv) {
    try {
        return Run(Argc, Argv);
    } catch (const EUsage &E) {
        Error(E.Message);
        std::fputs("Run 'quovpack --help' for usage.\n", stderr);
        return ExitUsage;
    } catch (const EPackInputError &E) {
        Error(E.Message());
        return ExitInput;
    } catch (const EPackageOpenError &E) {
        Error(E.Message());
        return ExitInput;
    } catch (const EPackOutputError &E) {
        Error(E.Message());
        return ExitOutput;
    } catch (const EExtractOutputError &E) {
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
