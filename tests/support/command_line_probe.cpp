// Started with an exact command line by command_line_win32_test.cpp: writes what the scanner finds
// on its own command line to the file named by QUOV_PROBE_OUT, as length-prefixed fields:
// the count, ParameterAt(0..count+1), then the command tail.
#include "support/command_line.h"
#include "support/win.h"

#include <cstdio>
#include <string>

namespace {

void WriteField(std::FILE *Out, const std::string &Field) {
    std::fprintf(Out, "%u:", static_cast<unsigned>(Field.size()));
    std::fwrite(Field.data(), 1, Field.size(), Out);
    std::fputc('\n', Out);
}

} // namespace

int main() {
    char OutName[MAX_PATH];
    DWORD Length = ::GetEnvironmentVariableA("QUOV_PROBE_OUT", OutName, MAX_PATH);
    if (Length == 0 || Length >= MAX_PATH)
        return 2;
    std::FILE *Out = std::fopen(OutName, "wb");
    if (!Out)
        return 3;
    int32_t Count = CountParameters();
    WriteField(Out, std::to_string(Count));
    for (int32_t K = 0; K <= Count + 1; ++K)
        WriteField(Out, ParameterAt(K));
    WriteField(Out, CommandTail());
    std::fclose(Out);
    return 0;
}
