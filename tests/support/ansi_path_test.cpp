// The choice of a path's ANSI form, with a made-up code page and a table of short forms standing
// in for the system (host and Windows alike).
#include "support/ansi_path.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

// Holds ASCII, "ó" and the code page 936 characters "中", "文" and "乗" (trail byte 0x5C); every
// other character is lost as '?'.
bool ToTestCodePage(const std::wstring &Wide, std::string &Ansi) {
    static const std::map<wchar_t, std::string> Held = {{L'\u00f3', "\xf3"},
                                                        {L'\u4e2d', "\xd6\xd0"},
                                                        {L'\u6587', "\xce\xc4"},
                                                        {L'\u4e57', "\x81\x5c"}};
    Ansi.clear();
    bool Exact = true;
    for (wchar_t C : Wide) {
        auto Found = Held.find(C);
        Exact = Exact && (C < 0x80 || Found != Held.end());
        Ansi += C < 0x80              ? std::string(1, static_cast<char>(C))
                : Found != Held.end() ? Found->second
                                      : "?";
    }
    return Exact;
}

// What GetShortPathNameW gives; a path not listed has no short form (it does not exist).
std::wstring ShortFormOf(const std::wstring &Wide) {
    static const std::map<std::wstring, std::wstring> ShortForms = {
        {L"C:\\\u0418\u0432\u0430\u043d\\setup.exe", L"C:\\____~J3S\\setup.exe"},
        // Short names switched off: the system hands the long form back.
        {L"D:\\\u0141\u00f3d\u017a", L"D:\\\u0141\u00f3d\u017a"},
        // A short name with letters the code page lacks as well.
        {L"E:\\\u0418\u0432\u0430\u043dovich", L"E:\\\u0418\u0412~1"},
        {L"C:\\\u4e2d\u6587\u4e57", L"C:\\4E2D~1"},
    };
    auto Found = ShortForms.find(Wide);
    return Found == ShortForms.end() ? std::wstring() : Found->second;
}

TEST(AnsiPath, KeepsWhatTheCodePageHoldsAndShortensTheRest) {
    const TAnsiPathSystem System = {ToTestCodePage, ShortFormOf};
    struct {
        const char *What;
        std::wstring Wide;
        bool Usable;
        std::string Ansi;
    } const Cases[] = {
        {"held", L"C:\\Temp\\setup.exe", true, "C:\\Temp\\setup.exe"},
        {"Cyrillic, not held: the short form", L"C:\\\u0418\u0432\u0430\u043d\\setup.exe", true,
         "C:\\____~J3S\\setup.exe"},
        // No best fit: the Polish L-stroke is lost as '?', never read as a plain L.
        {"short names off", L"D:\\\u0141\u00f3d\u017a", false,
         "D:\\?\xf3"
         "d?"},
        {"no short form", L"F:\\\u0418\u0432\u0430\u043d", false, "F:\\????"},
        {"short form loses characters too", L"E:\\\u0418\u0432\u0430\u043dovich", false,
         "E:\\????ovich"},
        {"double-byte held, trail byte 0x5C: the long form", L"C:\\\u4e2d\u6587\u4e57", true,
         "C:\\\xd6\xd0\xce\xc4\x81\x5c"},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.What);
        std::string Ansi = "stale";
        EXPECT_EQ(SelectAnsiPath(C.Wide, System, Ansi), C.Usable);
        EXPECT_EQ(Ansi, C.Ansi);
    }
}

} // namespace
