#include "tools/sign_command.h"

#include <cerrno>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

#include "tools/package_reader.h"

std::string ExpandSignCommand(const std::string &Command, const std::string &Path) {
    std::string Quoted = "'";
    for (char C : Path)
        Quoted += C == '\'' ? std::string("'\\''") : std::string(1, C);
    Quoted += "'";
    std::string Result;
    for (size_t I = 0; I < Command.size(); ++I) {
        if (Command[I] == '%' && I + 1 < Command.size() && Command[I + 1] == '1') {
            Result += Quoted;
            ++I;
        } else if (Command[I] == '%' && I + 1 < Command.size() && Command[I + 1] == '%') {
            Result += '%';
            ++I;
        } else {
            Result += Command[I];
        }
    }
    return Result;
}

namespace {

// Runs the command and waits for it; the exit status as waitpid gives it.
int RunShell(const std::string &Command) {
    const pid_t Child = ::fork();
    if (Child < 0)
        throw ESignError(std::string("cannot run the signing command: ") + std::strerror(errno));
    if (Child == 0) {
        ::execl("/bin/sh", "sh", "-c", Command.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    int Status = 0;
    while (::waitpid(Child, &Status, 0) < 0)
        if (errno != EINTR)
            throw ESignError(std::string("cannot wait for the signing command: ") +
                             std::strerror(errno));
    return Status;
}

} // namespace

void SignInstaller(const std::string &Command, const std::string &Path) {
    const int Status = RunShell(ExpandSignCommand(Command, Path));
    if (WIFSIGNALED(Status))
        throw ESignError("the signing command was ended by signal " +
                         std::to_string(WTERMSIG(Status)));
    if (WEXITSTATUS(Status) != 0)
        throw ESignError("the signing command failed with exit code " +
                         std::to_string(WEXITSTATUS(Status)));
    TPackageReport Report;
    try {
        Report = ReadPackage(Path, /*DecodeProgram=*/true);
    } catch (const EInputError &E) {
        throw ESignError("the signed installer cannot be read: " + E.Message());
    }
    if (!Report.Signature.Present)
        throw ESignError("the signing command left the installer unsigned");
    if (!Report.Fault.empty())
        throw ESignError("the signed installer is refused: " + Report.Fault);
}
