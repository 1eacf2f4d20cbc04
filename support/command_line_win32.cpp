#include "support/command_line.h"

#include "support/ansi_path.h"
#include "support/win.h"

std::string CommandTail() {
    return CommandTailOf(::GetCommandLineA());
}

std::wstring WideCommandTail() {
    return CommandTailOf(::GetCommandLineW());
}

int32_t CountParameters() {
    return CountParametersOf(::GetCommandLineA());
}

std::string ParameterAt(int32_t K) {
    if (K != 0)
        return ParameterAtOf(::GetCommandLineA(), K);
    // The system's own name of the module is UTF-16: a name the ANSI code page cannot hold gives
    // its short form, which the setup program can open too. A count of the full buffer means the
    // name was cut off: a truncated name would point at another file.
    constexpr DWORD BufferSize = 260;
    wchar_t Buffer[BufferSize];
    DWORD Count = ::GetModuleFileNameW(/*Module=*/nullptr, Buffer, BufferSize);
    return AnsiFormOfSystemPath(Buffer, Count, BufferSize);
}
