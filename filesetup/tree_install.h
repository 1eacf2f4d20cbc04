// Installs a stored folder of files into a target folder, all or nothing: every file is
// written under a temporary name beside its place and its CRC checked, and only when all are
// written are they moved into place (what they replace is kept aside until the end). Owns the
// record of everything it changed and undoes it unless committed. Win32 only.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "filesetup/setup_options.h"
#include "setupdata/file_tree_reader.h"
#include "support/exceptions.h"

// A step failed: the message number (SetupWriteFailed, SetupCreateFolderFailed, SetupDiskFull,
// SetupBadFolder), the path it concerns (as the user knows it) and the system's error code.
class EInstallStep : public Exception {
public:
    EInstallStep(TFileSetupText Text, std::wstring Path, uint32_t Code)
        : Exception("install step failed"), Text(Text), Path(std::move(Path)), SystemCode(Code) {}
    TFileSetupText Text;
    std::wstring Path;
    uint32_t SystemCode;
    uint64_t NeededBytes = 0, FreeBytes = 0; // for SetupDiskFull
};

// The user asked to stop.
class EInstallCancelled : public Exception {
public:
    EInstallCancelled() : Exception("cancelled") {}
};

// UTF-8 text (the stored folder's names, the run command) as UTF-16.
std::wstring Utf8ToWide(const std::string &Utf8);

// Told the current file (its path in the tree) and the bytes done of the total.
using TInstallProgress =
    std::function<void(const std::string &Path, uint64_t Done, uint64_t Total)>;

class TTreeInstall {
public:
    // Target: the folder as the user gave it (made absolute here).
    explicit TTreeInstall(const std::wstring &Target);
    // Undoes everything unless Commit was called; never throws.
    ~TTreeInstall();
    TTreeInstall(const TTreeInstall &) = delete;
    TTreeInstall &operator=(const TTreeInstall &) = delete;

    // The target, absolute, as it is shown to the user.
    const std::wstring &Target() const { return FTarget; }

    // Writes the tree and moves it into place. Throws EInstallStep, EInstallCancelled (Cancel
    // is looked at between pieces), or the reader's errors for a damaged payload; the target is
    // then put back by the destructor (or by Rollback).
    void Install(TFileTreeReader &Reader, const std::atomic<bool> &Cancel,
                 const TInstallProgress &Progress);
    // Keeps what was installed: drops the replaced files kept aside.
    void Commit();
    // Puts the target back as it was found, in reverse order; never throws.
    void Rollback() noexcept;

private:
    struct TStaged {
        std::wstring Temp, Final, Backup;
        uint32_t Attributes = 0;
        bool Moved = false;
    };
    void MakeFolder(const std::wstring &LongPath, const std::wstring &Shown);
    std::wstring TempNameIn(const std::wstring &LongFolder);
    void WriteFile(TFileTreeReader &Reader, const TFileTreeEntry &Entry, TStaged &Staged,
                   const std::atomic<bool> &Cancel, const std::function<void(uint32_t)> &Wrote);
    void MoveIntoPlace(TStaged &Staged, const std::wstring &Shown);
    // SetupWriteFailed for Shown, or SetupDiskFull when Code says the disk is full.
    [[noreturn]] void RaiseWriteFailed(const std::wstring &Shown, const std::wstring &LongFolder,
                                       uint32_t Code);

    std::wstring FTarget, FLongTarget;
    std::vector<std::wstring> FCreatedFolders; // long paths, in the order they were created
    std::vector<TStaged> FStaged;
    uint32_t FTempCounter = 0;
    uint64_t FNeededBytes = 0;
    bool FDone = false;
};
