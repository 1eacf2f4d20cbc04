// Signing as the last step of packing: runs the author's signing command on the finished
// installer (still under its temporary name) and checks that the loader accepts the signed file
// and that its signature matches it. Owns the child process for the command's run.
#pragma once

#include <string>

#include "tools/host_files.h"

// The signing command failed, or left a file that the loader refuses or whose signature does
// not hold; the message says which. The installer is not written.
class ESignError : public EOutputError {
public:
    using EOutputError::EOutputError;
};

// The shell a signing command runs under: /bin/sh -c, or on Windows cmd /c.
enum class ESignShell { Posix, WindowsCmd };
extern const ESignShell HostSignShell;

// The command as Shell runs it: each %1 becomes Path, quoted for that shell, and %% a single %.
// cmd expands %NAME% even inside quotes and a quote cannot be escaped there: a Path holding a %
// or a " is refused for it (ESignError).
std::string ExpandSignCommand(const std::string &Command, const std::string &Path,
                              ESignShell Shell = HostSignShell);

// Runs the expanded command through the host's shell and waits for it; its exit code, or
// ESignError when it cannot be started or ended by a signal. Its output goes where quovpack's
// goes. In sign_command_posix.cpp and sign_command_win32.cpp.
int RunSignShell(const std::string &Command);

// Runs the expanded command through the host's shell (its output goes where quovpack's goes), then
// reads the file the way verify does. Throws ESignError when the command does not exit with 0,
// when the file is not signed afterwards, when the loader would refuse it, or when its signature
// does not match it; EInputError when the file cannot be read.
void SignInstaller(const std::string &Command, const std::string &Path);
