// Starts support_command_line_probe.exe with exact command lines and compares what it scanned on
// its own command line (GetCommandLineA) with the case table.
#include "support/command_line.h"
#include "support/path.h"
#include "support/system_queries.h"
#include "tests/support/command_line_cases.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

std::string OwnDirectory() {
    std::string Self = ParameterAt(0);
    return Self.substr(0, static_cast<size_t>(DirPrefixLength(Self, true)));
}

// Reads the probe's length-prefixed fields.
std::vector<std::string> ReadFields(const std::string &FileName) {
    std::ifstream In(FileName, std::ios::binary);
    std::string Data((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    std::vector<std::string> Fields;
    size_t Pos = 0;
    while (Pos < Data.size()) {
        size_t Colon = Data.find(':', Pos);
        if (Colon == std::string::npos)
            break;
        size_t Length = std::stoul(Data.substr(Pos, Colon - Pos));
        Fields.push_back(Data.substr(Colon + 1, Length));
        Pos = Colon + 1 + Length + 1;
    }
    return Fields;
}

TEST(CommandLineWin32, ParameterZeroIsTheModuleFileName) {
    std::string Self = ParameterAt(0);
    char Module[MAX_PATH];
    DWORD Length = ::GetModuleFileNameA(nullptr, Module, MAX_PATH);
    EXPECT_EQ(Self, std::string(Module, Length));
    EXPECT_TRUE(IsExistingPath(Self));
}

TEST(CommandLineWin32, ProbeScansItsOwnCommandLine) {
    const std::string Probe = OwnDirectory() + "support_command_line_probe.exe";
    ASSERT_TRUE(IsExistingPath(Probe)) << Probe;
    const std::string OutName =
        EnsureTrailingSeparator(MakeFullPath(ReadEnvVar("TEMP"))) + "quov_command_line_probe.txt";
    ASSERT_TRUE(::SetEnvironmentVariableA("QUOV_PROBE_OUT", OutName.c_str()));
    for (const TCommandLineCase &C : CommandLineCases()) {
        // The command line passes through the system's wide-character form: keep to ASCII, and
        // give the system a non-empty line.
        bool Ascii = true;
        for (char B : C.CommandLine)
            Ascii = Ascii && static_cast<unsigned char>(B) < 0x80;
        if (!Ascii || C.CommandLine.empty())
            continue;
        SCOPED_TRACE("command line [" + C.CommandLine + "]");
        ::DeleteFileA(OutName.c_str());
        std::string Line = C.CommandLine;
        STARTUPINFOA Startup = {};
        Startup.cb = sizeof(Startup);
        PROCESS_INFORMATION Process = {};
        ASSERT_TRUE(::CreateProcessA(Probe.c_str(), &Line[0], nullptr, nullptr,
                                     /*InheritHandles=*/FALSE, 0, nullptr, nullptr, &Startup,
                                     &Process));
        ::WaitForSingleObject(Process.hProcess, INFINITE);
        DWORD ExitCode = 1;
        ::GetExitCodeProcess(Process.hProcess, &ExitCode);
        ::CloseHandle(Process.hThread);
        ::CloseHandle(Process.hProcess);
        ASSERT_EQ(ExitCode, 0u);

        std::vector<std::string> Fields = ReadFields(OutName);
        const size_t Count = C.Params.size();
        ASSERT_EQ(Fields.size(), Count + 4);
        EXPECT_EQ(Fields[0], std::to_string(Count));
        // Parameter 0 is the module file name, however the command line spells the program.
        EXPECT_EQ(Fields[1], MakeFullPath(Probe));
        for (size_t K = 0; K < Count; ++K)
            EXPECT_EQ(Fields[K + 2], C.Params[K]) << "parameter " << K + 1;
        EXPECT_EQ(Fields[Count + 2], "") << "beyond the last parameter";
        EXPECT_EQ(Fields[Count + 3], C.Tail);
    }
    ::DeleteFileA(OutName.c_str());
    ::SetEnvironmentVariableA("QUOV_PROBE_OUT", nullptr);
}

} // namespace
