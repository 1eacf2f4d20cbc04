// The C interface under Wine, against a package that the host's quovpack made (see
// CMakeLists.txt): what a setup program started by the loader would see, given its command line.
#include "setuplib/quov_setup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "support/win.h"

namespace {

// A host path as Wine shows it (drive Z: is the host's root).
std::wstring WinePath(const std::string &HostPath) {
    std::wstring Path = L"Z:";
    for (char C : HostPath)
        Path += C == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(C));
    return Path;
}

std::string ReadHostFile(const std::string &Name) {
    std::ifstream In(std::string("Z:") + QUOV_SETUPLIB_CASES + "/" + Name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

// The number behind "Key": in quovpack's JSON, searched from From.
uint64_t JsonNumber(const std::string &Json, const std::string &Key, size_t From = 0) {
    const size_t At = Json.find("\"" + Key + "\": ", From);
    EXPECT_NE(At, std::string::npos) << Key;
    return At == std::string::npos ? 0 : std::strtoull(Json.c_str() + At + Key.size() + 4, nullptr, 10);
}

// Stands in for the loader's window: remembers the last request it received.
struct TRequest {
    UINT Message = 0;
    WPARAM Request = 0;
    LPARAM Value = 0;
} LastRequest;

LRESULT CALLBACK RecordingWndProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
    if (Message == WM_USER + 150) {
        LastRequest = {Message, WParam, LParam};
        return 0;
    }
    return ::DefWindowProcW(Window, Message, WParam, LParam);
}

class SetupLibrary : public testing::Test {
protected:
    void SetUp() override {
        const std::string Json = ReadHostFile("package.json");
        ASSERT_FALSE(Json.empty()) << "run setuplib_win32_case first";
        SetupDataOffset = JsonNumber(Json, "setup_data_offset");
        SecondDataOffset = JsonNumber(Json, "second_data_offset");
        const size_t Further = Json.find("\"further setup data\"");
        ASSERT_NE(Further, std::string::npos);
        FurtherOffset = JsonNumber(Json, "offset", Further);
        FurtherSize = JsonNumber(Json, "size", Further);
        WNDCLASSW Class = {};
        Class.lpfnWndProc = RecordingWndProc;
        Class.lpszClassName = L"QuovSetupLibraryTestWindow";
        ::RegisterClassW(&Class);
        Window = ::CreateWindowW(Class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(Window, nullptr);
        LastRequest = {};
    }
    void TearDown() override {
        if (Setup)
            quov_setup_close(Setup);
        if (Window)
            ::DestroyWindow(Window);
    }

    // The command line the loader would give, with Tail behind /SL5=.
    std::wstring CommandLine(const std::wstring &Tail, const std::wstring &Path = L"",
                             int64_t OffsetChange = 0) const {
        wchar_t Numbers[64];
        _snwprintf(Numbers, 64, L"$%lX,%ld,%ld,", static_cast<unsigned long>(
                       reinterpret_cast<uintptr_t>(Window)),
                   static_cast<long>(SetupDataOffset + OffsetChange),
                   static_cast<long>(SecondDataOffset));
        return L"\"C:\\Temp\\is-T1.tmp\\setup.tmp\" /SL5=\"" + std::wstring(Numbers) +
               (Path.empty() ? PackagePath() : Path) + L"\" " + Tail;
    }
    static std::wstring PackagePath() { return WinePath(QUOV_SETUPLIB_CASES "/package.exe"); }

    quov_status Open(const std::wstring &Tail) {
        return quov_setup_open_command_line(CommandLine(Tail).c_str(), &Setup);
    }

    std::wstring Text(quov_status (*Get)(const quov_setup *, wchar_t *, size_t, size_t *)) {
        wchar_t Buffer[256];
        EXPECT_EQ(Get(Setup, Buffer, 256, nullptr), QUOV_OK);
        return Buffer;
    }
    std::wstring Message(int32_t Language, int32_t Number) {
        wchar_t Buffer[512];
        EXPECT_EQ(quov_setup_message(Setup, Language, Number, Buffer, 512, nullptr), QUOV_OK);
        return Buffer;
    }
    int32_t Chosen() {
        int32_t Language = -1;
        EXPECT_EQ(quov_setup_chosen_language(Setup, &Language), QUOV_OK);
        return Language;
    }

    uint64_t SetupDataOffset = 0, SecondDataOffset = 0, FurtherOffset = 0, FurtherSize = 0;
    HWND Window = nullptr;
    quov_setup *Setup = nullptr;
};

} // namespace

TEST_F(SetupLibrary, ReadsThePackageItWasStartedFrom) {
    const std::wstring Russian = L"C:\\\u041f\u0440\u043e\u0433\u0440\u0430\u043c\u043c\u044b";
    ASSERT_EQ(Open(L"/DIR=\"" + Russian + L"\" /x"), QUOV_OK);
    EXPECT_EQ(Text(quov_setup_application_name), L"\u5b89\u88c5\u6d4b\u8bd5 Demo");
    EXPECT_EQ(Text(quov_setup_loader_path), PackagePath());
    void *Handle = nullptr;
    EXPECT_EQ(quov_setup_loader_window(Setup, &Handle), QUOV_OK);
    EXPECT_EQ(Handle, Window);
    int32_t Count = 0;
    EXPECT_EQ(quov_setup_parameter_count(Setup, &Count), QUOV_OK);
    EXPECT_EQ(Count, 2);
    wchar_t Parameter[64];
    EXPECT_EQ(quov_setup_parameter(Setup, 0, Parameter, 64, nullptr), QUOV_OK);
    EXPECT_EQ(Parameter, L"/DIR=" + Russian);
    EXPECT_EQ(quov_setup_language_count(Setup, &Count), QUOV_OK);
    EXPECT_EQ(Count, 2);
    wchar_t Name[32];
    EXPECT_EQ(quov_setup_language_name(Setup, 1, Name, 32, nullptr), QUOV_OK);
    EXPECT_STREQ(Name, L"Chinese");
    EXPECT_EQ(Message(0, 148), L"Setup");
    EXPECT_NE(Message(0, 152).find(L"%1"), std::wstring::npos) << "placeholders stay as stored";

    // Texts go into the caller's buffer, which may be too small, with the size it needs.
    size_t Needed = 0;
    EXPECT_EQ(quov_setup_message(Setup, 1, 148, nullptr, 0, &Needed), QUOV_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(Needed, 3u);
    wchar_t Buffer[3] = {L'x', L'x', L'x'};
    EXPECT_EQ(quov_setup_message(Setup, 1, 148, Buffer, 2, &Needed), QUOV_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(Buffer[0], 0);
    EXPECT_EQ(quov_setup_message(Setup, 1, 148, Buffer, 3, nullptr), QUOV_OK);
    EXPECT_STREQ(Buffer, L"\u5b89\u88c5");
    EXPECT_EQ(quov_setup_message(Setup, 0, 207, Buffer, 3, nullptr), QUOV_ERROR_OUT_OF_RANGE);
}

TEST_F(SetupLibrary, ReadsBothAreasExactly) {
    ASSERT_EQ(Open(L""), QUOV_OK);
    const struct {
        int32_t Area;
        const char *File;
        uint64_t Offset;
    } Cases[] = {{QUOV_AREA_SETUP_DATA, "setup-data.txt", FurtherOffset},
                 {QUOV_AREA_SECOND_DATA, "second-data.txt", SecondDataOffset}};
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.File);
        const std::string Expected = ReadHostFile(Case.File);
        ASSERT_FALSE(Expected.empty());
        uint64_t Offset = 0, Length = 0;
        ASSERT_EQ(quov_setup_area(Setup, Case.Area, &Offset, &Length), QUOV_OK);
        EXPECT_EQ(Offset, Case.Offset);
        ASSERT_EQ(Length, Expected.size());
        std::string Bytes(Expected.size(), '\0');
        EXPECT_EQ(quov_setup_read_area(Setup, Case.Area, 0, &Bytes[0], Bytes.size()), QUOV_OK);
        EXPECT_EQ(Bytes, Expected);
        EXPECT_EQ(quov_setup_read_area(Setup, Case.Area, 4, &Bytes[0], 3), QUOV_OK);
        EXPECT_EQ(Bytes.substr(0, 3), Expected.substr(4, 3));
        EXPECT_EQ(quov_setup_read_area(Setup, Case.Area, 1, &Bytes[0], Bytes.size()),
                  QUOV_ERROR_OUT_OF_RANGE);
    }
    EXPECT_EQ(FurtherSize, ReadHostFile("setup-data.txt").size());
}

TEST_F(SetupLibrary, ChoosesTheLanguageAsTheLoader) {
    const struct {
        const wchar_t *Tail;
        int32_t Language;
    } Cases[] = {
        {L"/Lang=Chinese", 1},
        {L"/lang=ENGLISH", 0},
        {L"\"/LANG=Chinese\" /SP-", 1},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(Case.Tail)));
        ASSERT_EQ(Open(Case.Tail), QUOV_OK);
        EXPECT_EQ(Chosen(), Case.Language);
        quov_setup_close(Setup);
        Setup = nullptr;
    }
}

// Run under an English and a Chinese locale: without /Lang= the system's language decides.
TEST_F(SetupLibrary, ChoosesTheLanguageOfTheSystem) {
    const bool Chinese = PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_CHINESE &&
                         ::GetACP() == 936;
    // The run under the Chinese locale must see a Chinese system, or it would test nothing new.
    const char *Locale = std::getenv("LC_ALL");
    if (Locale && std::string(Locale).rfind("zh_CN", 0) == 0)
        EXPECT_TRUE(Chinese);
    ASSERT_EQ(Open(L"/Lang=Klingon"), QUOV_OK);
    EXPECT_EQ(Chosen(), Chinese ? 1 : 0);
}

TEST_F(SetupLibrary, RefusesWhatItCannotRead) {
    const std::wstring Self = WinePath(QUOV_SETUPLIB_CASES "/setup-data.txt");
    const struct {
        const char *Name;
        std::wstring Line;
        quov_status Status;
    } Cases[] = {
        {"started directly", L"setup.exe /Lang=English", QUOV_ERROR_NOT_STARTED_BY_LOADER},
        {"no such file", CommandLine(L"", L"Z:\\no\\such\\installer.exe"),
         QUOV_ERROR_LOADER_FILE_OPEN},
        {"not an installer", CommandLine(L"", Self), QUOV_ERROR_PACKAGE_CORRUPT},
        {"other offsets", CommandLine(L"", L"", 1), QUOV_ERROR_PACKAGE_MISMATCH},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        quov_setup *Opened = reinterpret_cast<quov_setup *>(1);
        EXPECT_EQ(quov_setup_open_command_line(Case.Line.c_str(), &Opened), Case.Status)
            << quov_status_text(Case.Status);
        EXPECT_EQ(Opened, nullptr);
    }
}

TEST_F(SetupLibrary, SendsTheRequestsToTheLoaderWindow) {
    ASSERT_EQ(Open(L""), QUOV_OK);
    EXPECT_EQ(quov_setup_request_language(Setup, 1), QUOV_OK);
    EXPECT_EQ(LastRequest.Message, WM_USER + 150u);
    EXPECT_EQ(LastRequest.Request, 10001u);
    EXPECT_EQ(LastRequest.Value, 1);
    EXPECT_EQ(Chosen(), 1);
    EXPECT_EQ(quov_setup_request_language(Setup, 2), QUOV_ERROR_OUT_OF_RANGE);
    EXPECT_EQ(Chosen(), 1);
    EXPECT_EQ(quov_setup_request_restart(Setup), QUOV_OK);
    EXPECT_EQ(LastRequest.Request, 10000u);
    ::DestroyWindow(Window);
    Window = nullptr;
    EXPECT_EQ(quov_setup_request_restart(Setup), QUOV_ERROR_NO_LOADER_WINDOW);
}
