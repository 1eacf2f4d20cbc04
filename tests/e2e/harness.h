// Runs the real loader as a separate process with an exact command line and environment, a
// private TMP directory per case, and a driver that reads and answers every message box the
// loader shows. Owns the case's work directory; borrows nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "setupdata/offset_table.h"
#include "support/win.h"

struct TMessageBox {
    std::string Caption; // exact ANSI bytes (GetWindowTextA)
    std::string Text;    // exact ANSI bytes of the static text (GetDlgItemTextA, id 0xFFFF)
};

struct TLoaderRun {
    std::string LoaderPath;  // the file to start (Windows path)
    std::string Parameters;  // appended behind the quoted path and one blank; empty: nothing
    bool UseRawCommandLine = false;
    std::string RawCommandLine;                                  // the whole line, when asked
    std::vector<std::pair<std::string, std::string>> Environment; // set on top of ours
    std::vector<int> Answers; // the button for each box in turn (IDOK, IDYES, IDNO)
    DWORD TimeoutMs = 30000;
    std::function<void(const TMessageBox &)> BeforeAnswer; // called with each box, when given
    bool BoxesOfChildren = false; // also the boxes of the processes the loader started
    // When set, the loader is started through CreateProcessW with a Unicode environment, the
    // only way to hand it a path or a value outside the ANSI code page; LoaderPath and the raw
    // command line are then not used.
    std::wstring WideLoaderPath;
    std::vector<std::pair<std::wstring, std::wstring>> WideEnvironment; // on top of Environment
    std::wstring WideParameters; // in place of Parameters when not empty
};

struct TLoaderResult {
    bool Finished = false;
    DWORD ExitCode = 0;
    std::vector<TMessageBox> Boxes;
    std::string ChildReport;             // the test setup program's report, empty if it never ran
    std::vector<std::string> TempLeftovers; // names left in the case's TMP directory
};

// The directory holding this test program (with a trailing backslash).
std::string TestProgramDirectory();
// Where the host generator put the case files.
std::string CasesDirectory();
// The unpacked loader stub of this build.
std::string StubPath();

// The names in a directory (given with a trailing backslash), "." and ".." left out, sorted.
std::vector<std::string> ListDirectory(const std::string &Directory);

// A fresh, empty work directory for one case: <test dir>runs\<Name>\ (with a trailing backslash).
std::string PrepareWorkDirectory(const std::string &Name);

// Starts the loader, answers its boxes, waits for it and looks at what it left. Its TMP and TEMP
// point to <work dir>tmp, the setup program's report goes to <work dir>child.log.
TLoaderResult RunLoader(const std::string &CaseName, const TLoaderRun &Run);

// The caption this system gives a message box whose caption argument is null.
std::string DefaultBoxCaption();

// The built-in corrupt text as the error box shows it: every exception text is ended as a
// sentence, and the text's double-byte full stop still gets an ASCII period behind it.
std::string ShownCorruptText();

// An ANSI text in UTF-16 (the system's conversion).
std::wstring WidenAnsi(const std::string &Text);
// The long form of an existing path given in ANSI form (a short form, say); empty if none.
std::wstring LongPathOf(const std::string &Path);

std::string ReadWholeFile(const std::string &Path);
void WriteWholeFile(const std::string &Path, const std::string &Bytes);
// A value from the setup program's report ("key=value" lines), empty when absent.
std::string ReportValue(const std::string &Report, const std::string &Key);
// The loader path that /SL5= handed the setup program, from its report; empty when absent.
std::string GivenLoaderPath(const std::string &Report);

// A package file in memory, with its offset table found by the table's signature.
struct TPackageBytes {
    std::string Bytes;
    size_t TableOffset = std::string::npos;

    TLoaderOffsetTable Table() const;
    // Puts the table back, with a recomputed TableChecksum when Reseal is set.
    void SetTable(TLoaderOffsetTable Table, bool Reseal);
};

TPackageBytes LoadPackage(const std::string &Path);
