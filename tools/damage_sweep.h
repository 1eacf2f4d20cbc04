// Damage sweep: runs the loader's acceptance routine (the one `quovpack verify` uses) over a
// packaged installer with one change at a time, a flipped bit or a cut, and sorts each case.
// A package that holds a stored folder of files (quovpack pack --files) also has the folder
// read back each time with the reader of the setup program that installs it. Borrows the
// package bytes it is given.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class TCaseOutcome {
    Harmless, // accepted, and the program extracted (and the stored folder read back, when
              // there is one) are the original byte for byte
    Detected, // ended in one of the system's errors
    Failure,  // accepted with other program bytes, or ended in something outside our tree
};

struct TCaseResult {
    TCaseOutcome Outcome = TCaseOutcome::Failure;
    std::string Detail; // the fault found, or what went wrong
};

// One run of the loader's acceptance over Package: the offset table from the PE resource walker,
// then AcceptPackage with every message block and the program, whose bytes are compared with
// Program. When Folder is not empty, the stored folder is then read from the setup-data area as
// the setup program reads it and compared with Folder (StoredFolderOfPackage). Never throws
// for anything the package holds.
TCaseResult CheckPackageCase(const std::string &Package, const std::string &Program,
                             const std::string &Folder = std::string());

// The program an intact package holds. Throws the acceptance routine's error when the package
// is refused.
std::string ProgramOfPackage(const std::string &Package);

// The stored folder of files an intact package holds, read back through the setup program's
// reader into one string (the run command, then every entry's fields and file bytes), or empty
// when its setup-data area holds no folder. Throws the reader's error when it is damaged.
std::string StoredFolderOfPackage(const std::string &Package);

// A part of the package that the sweep damages.
struct TSweepRegion {
    std::string Name;
    uint64_t Offset = 0;
    uint64_t Size = 0;
};

// The offset table, the setup-data signature, the records block, the stored folder (the whole
// setup-data area, when it holds one) and the program block of an intact package, in file
// order. Throws Exception when the package itself is not accepted.
std::vector<TSweepRegion> FindSweepRegions(const std::string &Package);

struct TSweepCounts {
    uint64_t Cases = 0;
    uint64_t Detected = 0;
    uint64_t Harmless = 0;
    uint64_t Failures = 0;
    std::vector<std::string> FailureNotes; // the first few failures, for the report
    void Add(const TCaseResult &Result, const std::string &CaseName);
};

// Called before each case with its name (the tool uses it to name a case that hangs).
using TCaseHook = std::function<void(const std::string &CaseName)>;

// Flips one bit of every byte of every region: bit (position mod 8) in the routine run, all
// eight in turn when AllBits is set. The stored folder's reference is read from Package first.
TSweepCounts RunBitFlipSweep(const std::string &Package, const std::string &Program,
                             bool AllBits, const TCaseHook &Hook = nullptr);

// Cuts the package short of its recorded length (what lies behind, such as quovpack's padding
// or a signature, is not the loader's) at every chunk boundary of both blocks (and one byte to
// either side), at
// every region boundary and at every SampleStep-th length. Each cut runs twice: as it is (the
// table's MinFileSize refuses it), and with MinFileSize resealed to the cut length, so that the
// readers themselves meet the end of the file.
TSweepCounts RunTruncationSweep(const std::string &Package, const std::string &Program,
                                uint64_t SampleStep, const TCaseHook &Hook = nullptr);
