#include "support/command_line.h"
#include "support/win.h"

std::string CommandTail() {
    return CommandTailOf(::GetCommandLineA());
}

int32_t CountParameters() {
    return CountParametersOf(::GetCommandLineA());
}

std::string ParameterAt(int32_t K) {
    if (K != 0)
        return ParameterAtOf(::GetCommandLineA(), K);
    constexpr DWORD BufferSize = 260;
    char Buffer[BufferSize];
    DWORD Count = ::GetModuleFileNameA(/*Module=*/nullptr, Buffer, BufferSize);
    // A count of the full buffer means the name was cut off (and, on newer systems, that its last
    // byte is the terminator): a truncated name would point at another file.
    if (Count == 0 || Count >= BufferSize)
        return std::string();
    return std::string(Buffer, Count);
}
