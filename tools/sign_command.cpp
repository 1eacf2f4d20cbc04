#include "tools/sign_command.h"

#include "tools/package_reader.h"

std::string ExpandSignCommand(const std::string &Command, const std::string &Path,
                              ESignShell Shell) {
    std::string Quoted;
    if (Shell == ESignShell::WindowsCmd) {
        if (Path.find_first_of("%\"") != std::string::npos)
            throw ESignError("cmd cannot be given the path " + Path +
                             " safely (it holds a % or a \"): write the installer elsewhere");
        Quoted = "\"" + Path + "\"";
    } else {
        Quoted = "'";
        for (char C : Path)
            Quoted += C == '\'' ? std::string("'\\''") : std::string(1, C);
        Quoted += "'";
    }
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

void SignInstaller(const std::string &Command, const std::string &Path) {
    const int ExitCode = RunSignShell(ExpandSignCommand(Command, Path));
    if (ExitCode != 0)
        throw ESignError("the signing command failed with exit code " + std::to_string(ExitCode));
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
