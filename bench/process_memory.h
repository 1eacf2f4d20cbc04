// The benchmarks' reading of their own process's memory (Linux).
#pragma once

#include <cstring>
#include <fstream>
#include <string>

// A field of /proc/self/status in KiB (VmRSS, VmHWM); 0 when it cannot be read.
inline long StatusKiB(const char *Field) {
    std::ifstream In("/proc/self/status");
    std::string Line;
    const size_t Len = std::strlen(Field);
    while (std::getline(In, Line))
        if (Line.compare(0, Len, Field) == 0 && Line.size() > Len && Line[Len] == ':')
            return std::stol(Line.substr(Len + 1));
    return 0;
}
