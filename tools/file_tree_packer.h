// Turns a folder of files into the stored form the reference setup program installs
// (setupdata/file_tree.h): the scan of a host folder, the checks of Windows names, and the
// writer. Owns nothing past a call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/host_files.h"
#include "tools/packlib/lzma_compress.h"

// The files' dictionary unless the author chooses: the largest the readers take. A folder's
// files share much across more than 16 MiB (on 51 MB of Wine's DLLs the installer is 0.4%
// smaller than with 16 MiB); it is what the setup program needs to install them (besides one
// piece), and a folder smaller than it gets the smallest dictionary that holds it.
constexpr uint32_t DefaultFileTreeDictionarySize = MaxProgramDictionarySize;

// One file or folder to store, its path relative to the tree's root with parts joined by '/'.
struct TTreeSourceEntry {
    std::string Path; // UTF-8
    bool IsFolder = false;
    uint32_t Attributes = 0; // Windows attribute bits; those outside FileTreeKeptAttributes drop
    uint64_t WriteTime = 0;  // FILETIME; 0: none
    std::string Data;        // a file's bytes
};

// Why Windows cannot hold a file name (one part of a path, UTF-8), or empty when it can:
// reserved device names (CON, NUL, COM1, ... also with an extension), characters the system
// refuses (<>:"/\|?* and controls), a trailing dot or space, text that is not UTF-8.
std::string WindowsNameProblem(const std::string &Name);

// Reads the folder Root: every regular file and folder below it, symbolic links and special
// files refused (EInputError naming the path), times zero when ZeroTimes. The order is not
// defined: the writer sorts.
std::vector<TTreeSourceEntry> ScanHostTree(const std::string &Root, bool ZeroTimes);

// The setup-data area for Entries and RunCommand (UTF-8, empty: none). Sorts by path, checks
// every name, refuses names that differ only in case within one folder, an empty tree and
// anything over the format's ceilings (EInputError with the reason); files beginning with an
// executable's "MZ" are stored call-transformed. The files' stream is one LZMA stream with the
// setup program's settings and DictionarySize (tools/packlib/lzma_compress.h).
std::string BuildFileTreeArea(std::vector<TTreeSourceEntry> Entries, const std::string &RunCommand,
                              uint32_t DictionarySize = DefaultFileTreeDictionarySize);

// The reference setup program that installs a stored folder, installed beside the stub.
constexpr const char FileTreeSetupProgramName[] = "quovfiles.exe";
