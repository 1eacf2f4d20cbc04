#include "setuplib/setup_system.h"

#include <cstring>

#include "records/loader_contract.h"
#include "support/ansi_path.h"
#include "support/win.h"

namespace {

// Owns a module loaded as a data file; FreeLibrary when it goes away.
class TDataModule {
public:
    explicit TDataModule(const std::wstring &Path)
        : FModule(::LoadLibraryExW(Path.c_str(), /*File=*/nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    TDataModule(const TDataModule &) = delete;
    TDataModule &operator=(const TDataModule &) = delete;
    ~TDataModule() {
        if (FModule)
            ::FreeLibrary(FModule);
    }
    HMODULE Get() const { return FModule; }

private:
    HMODULE FModule;
};

} // namespace

std::wstring ProcessCommandLine() {
    const wchar_t *Line = ::GetCommandLineW();
    return Line ? std::wstring(Line) : std::wstring();
}

std::unique_ptr<TFile> OpenLoaderFile(const std::wstring &LoaderPath) {
    std::string Ansi;
    SelectAnsiPath(LoaderPath, SystemAnsiPaths, Ansi);
    return std::unique_ptr<TFile>(new TFile(Ansi, fcOpenExisting, amRead, smRead));
}

bool LoadOffsetTable(const std::wstring &LoaderPath, TLoaderOffsetTable &Table) {
    TDataModule Module(LoaderPath);
    if (!Module.Get())
        return false;
    HRSRC Resource = ::FindResourceW(Module.Get(), MAKEINTRESOURCEW(OffsetTableResourceId),
                                     MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
    if (!Resource || ::SizeofResource(Module.Get(), Resource) != OffsetTableSize)
        return false;
    HGLOBAL Loaded = ::LoadResource(Module.Get(), Resource);
    const void *Bytes = Loaded ? ::LockResource(Loaded) : nullptr;
    if (!Bytes)
        return false;
    std::memcpy(&Table, Bytes, OffsetTableSize);
    return true;
}

bool ConvertToUtf16(const std::string &Text, uint32_t CodePage, std::wstring &Out) {
    Out.clear();
    if (Text.empty())
        return true;
    const UINT Page = CodePage == 0 ? CP_ACP : CodePage;
    const int Length = static_cast<int>(Text.size());
    int Count = ::MultiByteToWideChar(Page, MB_ERR_INVALID_CHARS, Text.data(), Length, nullptr, 0);
    if (Count <= 0)
        return false;
    Out.resize(static_cast<size_t>(Count));
    Count = ::MultiByteToWideChar(Page, MB_ERR_INVALID_CHARS, Text.data(), Length, &Out[0], Count);
    Out.resize(static_cast<size_t>(Count > 0 ? Count : 0));
    return Count > 0;
}

std::string ConvertToAnsi(const std::wstring &Text) {
    std::string Out;
    if (Text.empty())
        return Out;
    const int Length = static_cast<int>(Text.size());
    int Count = ::WideCharToMultiByte(CP_ACP, 0, Text.data(), Length, nullptr, 0, nullptr, nullptr);
    if (Count <= 0)
        return Out;
    Out.resize(static_cast<size_t>(Count));
    Count = ::WideCharToMultiByte(CP_ACP, 0, Text.data(), Length, &Out[0], Count, nullptr, nullptr);
    Out.resize(static_cast<size_t>(Count > 0 ? Count : 0));
    return Out;
}

TLanguageSystemValues SystemLanguageValues() {
    TLanguageSystemValues System;
    System.UILanguage = DetectUILanguage();
    System.UserLangID = ::GetUserDefaultLangID();
    System.AnsiCodePage = ::GetACP();
    return System;
}

void *LoaderWindowHandle(uint32_t Window) {
    // Window handles hold 32 significant bits; a 64-bit process widens them with the sign.
    return reinterpret_cast<void *>(static_cast<intptr_t>(static_cast<int32_t>(Window)));
}

bool SendLoaderRequest(uint32_t Window, uintptr_t Request, intptr_t Value) {
    HWND Handle = static_cast<HWND>(LoaderWindowHandle(Window));
    if (!::IsWindow(Handle))
        return false;
    ::SendMessageA(Handle, LoaderWindowMessage, Request, Value);
    return true;
}
