#include "support/system_queries.h"

#include "support/path.h"

#include <cstdlib>

uint32_t OsPlatformId = PlatformWin32NT;

void InitOsPlatformId() {
    OsPlatformId = PlatformWin32NT;
}

std::string ReadEnvVar(const char *Name) {
    const char *Value = std::getenv(Name);
    return Value ? std::string(Value) : std::string();
}

std::string FindTempDirectory() {
    std::string Dir;
    for (const char *Name : {"TMP", "TEMP"}) {
        std::string Value = ReadEnvVar(Name);
        if (!Value.empty() && IsExistingDirectory(Value)) {
            Dir = Value;
            break;
        }
    }
    if (Dir.empty())
        Dir = "/tmp";
    Dir = MakeFullPath(Dir);
    if (Dir.back() != '/')
        Dir += '/';
    return Dir;
}
