// damage_sweep: damages a packaged installer one bit or one cut at a time and runs the loader's
// own acceptance and extraction path over each case. Every case must end in acceptance with the
// original program bytes, or in one of the system's errors; anything else (different program
// bytes, a foreign exception, a crash, a sanitizer report, a hang) is a failure. A stored folder
// of files (quovpack pack --files) is read back with the setup program's reader in every case:
// read back other than it was packed is a failure too.
//
//   damage_sweep PACKAGE [--program ORIGINAL] [--all-bits] [--no-flips] [--no-cuts]
//                [--sample N] [--case-timeout SECONDS]
//
// Without --program the reference is the program extracted from the intact package. The
// routine run flips one bit per byte; --all-bits flips all eight. A full run over a package of a
// few hundred KB, best in the sanitizer tree (scripts/build-sanitize.sh), from the repository
// root:
//   head -c 300000 /dev/urandom > /tmp/prog.bin
//   build/host/quovpack pack --stub build/stub/quovldr.exe --program /tmp/prog.bin --name Sweep
//     --lang messages/en.txt --lang messages/zh_CN.txt -o /tmp/sweep.exe     (one line)
//   build/asan/tools/damage_sweep /tmp/sweep.exe --program /tmp/prog.bin --all-bits --sample 1
// Exit codes: 0 no failure, 1 at least one failure, 2 usage or an unusable package, 3 a case
// hung (its name is printed).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "records/data_fault_text.h"
#include "records/setup_package.h"
#include "support/exceptions.h"
#include "tools/damage_sweep.h"

namespace {

char CurrentCase[512];

void OnAlarm(int) {
    const char Prefix[] = "damage_sweep: case hung: ";
    (void)!::write(2, Prefix, sizeof(Prefix) - 1);
    (void)!::write(2, CurrentCase, std::strlen(CurrentCase));
    (void)!::write(2, "\n", 1);
    ::_exit(3);
}

bool ReadWhole(const std::string &Path, std::string &Bytes) {
    std::ifstream In(Path, std::ios::binary);
    if (!In)
        return false;
    Bytes.assign(std::istreambuf_iterator<char>(In), {});
    return !In.bad();
}

void Print(const char *What, const TSweepCounts &Counts) {
    std::printf("%s: %llu cases, %llu detected, %llu harmless, %llu failures\n", What,
                static_cast<unsigned long long>(Counts.Cases),
                static_cast<unsigned long long>(Counts.Detected),
                static_cast<unsigned long long>(Counts.Harmless),
                static_cast<unsigned long long>(Counts.Failures));
    for (const std::string &Note : Counts.FailureNotes)
        std::printf("  FAILURE %s\n", Note.c_str());
}

int Usage() {
    std::fputs("usage: damage_sweep PACKAGE [--program ORIGINAL] [--all-bits] [--no-flips]\n"
               "                    [--no-cuts] [--sample N] [--case-timeout SECONDS]\n",
               stderr);
    return 2;
}

} // namespace

int main(int ArgCount, char **Args) {
    std::string PackagePath, ProgramPath;
    bool AllBits = false, Flips = true, Cuts = true;
    unsigned long Sample = 997, CaseTimeout = 10;
    for (int I = 1; I < ArgCount; ++I) {
        const std::string Arg = Args[I];
        const bool HasValue = I + 1 < ArgCount;
        if (Arg == "--program" && HasValue)
            ProgramPath = Args[++I];
        else if (Arg == "--sample" && HasValue)
            Sample = std::strtoul(Args[++I], nullptr, 10);
        else if (Arg == "--case-timeout" && HasValue)
            CaseTimeout = std::strtoul(Args[++I], nullptr, 10);
        else if (Arg == "--all-bits")
            AllBits = true;
        else if (Arg == "--no-flips")
            Flips = false;
        else if (Arg == "--no-cuts")
            Cuts = false;
        else if (PackagePath.empty() && !Arg.empty() && Arg[0] != '-')
            PackagePath = Arg;
        else
            return Usage();
    }
    if (PackagePath.empty())
        return Usage();
    std::string Package, Program;
    if (!ReadWhole(PackagePath, Package)) {
        std::fprintf(stderr, "damage_sweep: cannot read %s\n", PackagePath.c_str());
        return 2;
    }
    int Exit = 0;
    try {
        if (!ProgramPath.empty()) {
            if (!ReadWhole(ProgramPath, Program)) {
                std::fprintf(stderr, "damage_sweep: cannot read %s\n", ProgramPath.c_str());
                return 2;
            }
        } else {
            // The reference: what the intact package holds, as far as its own CRC vouches.
            Program = ProgramOfPackage(Package);
        }
        TCaseResult Intact = CheckPackageCase(Package, Program, StoredFolderOfPackage(Package));
        if (Intact.Outcome != TCaseOutcome::Harmless) {
            std::fprintf(stderr, "damage_sweep: the intact package does not give the program: %s\n",
                         Intact.Detail.c_str());
            return 2;
        }
        for (const TSweepRegion &Region : FindSweepRegions(Package))
            std::printf("%s: offset %llu, %llu bytes\n", Region.Name.c_str(),
                        static_cast<unsigned long long>(Region.Offset),
                        static_cast<unsigned long long>(Region.Size));
        std::fflush(stdout);

        std::signal(SIGALRM, OnAlarm);
        TCaseHook Hook = [&](const std::string &Name) {
            std::snprintf(CurrentCase, sizeof(CurrentCase), "%s", Name.c_str());
            ::alarm(static_cast<unsigned>(CaseTimeout));
        };
        if (Flips) {
            TSweepCounts Counts = RunBitFlipSweep(Package, Program, AllBits, Hook);
            Print(AllBits ? "bit flips (all bits)" : "bit flips (one bit per byte)", Counts);
            if (Counts.Failures)
                Exit = 1;
        }
        if (Cuts) {
            TSweepCounts Counts = RunTruncationSweep(Package, Program, Sample, Hook);
            Print("truncations", Counts);
            if (Counts.Failures)
                Exit = 1;
        }
        ::alarm(0);
    } catch (const Exception &E) {
        std::fprintf(stderr, "damage_sweep: the intact package is refused: %s\n",
                     E.Fault().Check != TFaultCheck::None ? DescribeDataFault(E.Fault()).c_str()
                                                          : E.Message().c_str());
        Exit = 2;
    }
    return Exit;
}
