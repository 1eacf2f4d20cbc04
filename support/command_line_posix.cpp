#include "support/command_line.h"

#include <unistd.h>

namespace {

std::string HostCommandLine;
std::string HostModuleFileName;

} // namespace

void SetHostCommandLine(const std::string &CommandLine, const std::string &ModuleFileName) {
    HostCommandLine = CommandLine;
    HostModuleFileName = ModuleFileName;
}

std::string CommandTail() {
    return CommandTailOf(HostCommandLine.c_str());
}

int32_t CountParameters() {
    return CountParametersOf(HostCommandLine.c_str());
}

std::string ParameterAt(int32_t K) {
    if (K != 0)
        return ParameterAtOf(HostCommandLine.c_str(), K);
    if (!HostModuleFileName.empty())
        return HostModuleFileName;
    char Buffer[260];
    ssize_t Count = ::readlink("/proc/self/exe", Buffer, sizeof(Buffer));
    if (Count <= 0 || static_cast<size_t>(Count) >= sizeof(Buffer))
        return std::string();
    return std::string(Buffer, static_cast<size_t>(Count));
}
