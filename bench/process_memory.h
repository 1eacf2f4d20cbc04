// The benchmarks' reading of their own process's memory (Linux).
#pragma once

#include <cstdio>
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

// The peak a fresh process of the benchmark reports: Command runs it (the benchmark itself with
// the arguments of one measurement), and it prints its peak in KiB; -1 when none came.
inline long ChildPeakKiB(const std::string &Command) {
    FILE *Pipe = popen(Command.c_str(), "r");
    long Peak = -1;
    if (Pipe) {
        if (std::fscanf(Pipe, "%ld", &Peak) != 1)
            Peak = -1;
        pclose(Pipe);
    }
    return Peak;
}
