// The run's temporary directory ("is-" + five base-32 digits + ".tmp" under the temporary base
// directory) and the bounded deletion of the extracted program. The Wow64 guard these use is in
// loader/fs_redirection.h.
#pragma once

#include <cstdint>
#include <string>

// Names span 2^25 numbers: five base-32 digits.
constexpr uint32_t TempNameCount = 1u << 25;

// The low 25 bits of Value as five digits of "0123456789ABCDEFGHIJKLMNOPQRSTUV", most
// significant first; higher bits are ignored.
std::string EncodeBase32(uint32_t Value);

using TPathExistsFunc = bool (*)(bool DisableRedirection, const std::string &Path);
using TRandomBelowFunc = uint32_t (*)(uint32_t N);

// Directory + "is-" + digits + Extension for the first number after a random start (wrapping to 0
// after NameCount - 1) whose path does not exist. The start itself is never offered. Throws
// Exception with message 69 (the directory without its trailing separator) when every other
// number is taken. The loader uses TempNameCount; tests pass a smaller name space.
std::string PickUniqueNameWith(bool DisableRedirection, const std::string &Directory,
                               const std::string &Extension, uint32_t NameCount,
                               TRandomBelowFunc Random, TPathExistsFunc Exists);

// Message 96 around message 47 for Dir: why MakeRunTempDir failed, with the failed call's code.
// When a step of building the folder's private security failed without a code (GetLastError
// gave 0), SecurityCodeMissing is reported instead: that step failed all the same, and the
// folder is never made with the base's security.
constexpr uint32_t SecurityCodeMissing = 1338; // ERROR_INVALID_SECURITY_DESCR
std::string RunTempDirFailure(const std::string &Dir, uint32_t Code, bool SecurityStep);

// ---- Win32 only ---------------------------------------------------------------------------

// PickUniqueNameWith over the real name space, RandomBelow and PathExistsNoRedir.
std::string PickUniqueName(bool DisableRedirection, const std::string &Directory,
                           const std::string &Extension);
// Creates a fresh directory under FindTempDirectory() and returns it without trailing separator.
// On the NT family its security is private: full control for SYSTEM, Administrators and the
// process token's user, inherited by its contents, nothing taken from the base. Throws Exception
// (message 96 around message 47) when that security cannot be built or creation fails for any
// reason but the name having been taken meanwhile, which starts over.
std::string MakeRunTempDir();
// Up to Attempts deletions: the first at once, the second after FirstRetryDelay ms, the others
// after RetryDelay ms each. Stops on success or when the file or its path is gone; gives up
// silently.
void DeleteFileWithRetries(bool DisableRedirection, const std::string &Path, int32_t Attempts,
                           uint32_t FirstRetryDelay, uint32_t RetryDelay);
