// The demo's setup program: shows, in one message box, that it received what the loader hands
// every setup program. It reads the application name from the setup records at the offset given
// on its /SL5= parameter, and names the language entry that the loader's own rules pick for the
// user's settings and the options it was given (the loader does not pass its choice on).
#include <cstdio>
#include <string>
#include <vector>

#include "loader/options.h"
#include "records/language.h"
#include "records/setup_package.h"
#include "setupdata/file.h"
#include "support/command_line.h"
#include "support/error_text.h"
#include "support/win.h"

namespace {

// The pieces of /SL5="$<window>,<setup data offset>,<second data offset>,<loader path>".
struct TContract {
    unsigned long Window = 0;
    long SetupDataOffset = 0;
    long SecondDataOffset = 0;
    std::string LoaderPath;
};

bool ParseContract(const std::string &Parameter, TContract &Contract) {
    if (Parameter.compare(0, 6, "/SL5=$") != 0)
        return false;
    char Path[MAX_PATH] = "";
    int Parsed = std::sscanf(Parameter.c_str() + 6, "%lX,%ld,%ld,%259[^\n]", &Contract.Window,
                             &Contract.SetupDataOffset, &Contract.SecondDataOffset, Path);
    Contract.LoaderPath = Path;
    return Parsed == 4;
}

std::string Hex(uint32_t Value) {
    char Buffer[16];
    std::snprintf(Buffer, sizeof(Buffer), "0x%04X", Value);
    return Buffer;
}

std::string DescribeRun(const TContract &Contract) {
    TFile Loader(Contract.LoaderPath, fcOpenExisting, amRead, smRead);
    Loader.Seek(static_cast<uint32_t>(Contract.SetupDataOffset) + 64); // behind the signature
    TSetupHeaderRec Header;
    std::vector<TSetupLanguageEntry> Entries;
    ReadSetupRecords(Loader, Header, Entries);

    std::vector<std::string> Parameters;
    for (int32_t K = 1; K <= CountParameters(); ++K)
        Parameters.push_back(ParameterAt(K));
    TLanguageSystemValues System;
    System.UILanguage = DetectUILanguage();
    System.UserLangID = ::GetUserDefaultLangID();
    System.AnsiCodePage = ::GetACP();
    int32_t Count = static_cast<int32_t>(Entries.size());
    int32_t Index = SelectLanguageIndex(Entries.data(), Count,
                                        ReadLoaderOptions(Parameters).LangOption,
                                        Header.LanguageDetectMode(), System);

    std::string Text = "Application: " + Header.ApplicationName() + "\n\n";
    Text += "Started by the loader " + Contract.LoaderPath + "\n";
    Text += "Setup data at offset " + std::to_string(Contract.SetupDataOffset) +
            ", second data area at " + std::to_string(Contract.SecondDataOffset) + "\n";
    Text += std::to_string(Count) + " language(s) offered; your settings (user interface " +
            Hex(System.UILanguage & 0xFFFF) + ", code page " + std::to_string(System.AnsiCodePage) +
            ") choose: ";
    Text += Count > 0 ? Entries[Index].Name() + " (" + Hex(Entries[Index].LanguageID()) + ")"
                      : std::string("none");
    Text += "\n\nThis demo installs nothing.";
    return Text;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    TContract Contract;
    bool Found = false;
    for (int32_t K = 1; K <= CountParameters() && !Found; ++K)
        Found = ParseContract(ParameterAt(K), Contract);
    std::string Text;
    try {
        Text = Found ? DescribeRun(Contract)
                     : std::string("Start the packaged installer, not this program: it needs "
                                   "the /SL5= parameter that the loader passes.");
    } catch (...) {
        Text = "The setup records could not be read: " + CurrentExceptionText();
    }
    ::MessageBoxA(nullptr, Text.c_str(), "Quov demo setup", MB_OK | MB_ICONINFORMATION);
    return 0;
}
