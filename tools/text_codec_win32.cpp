#include "tools/text_codec.h"

#include <algorithm>
#include <iterator>

#include "support/win.h"

namespace {

// Code pages whose converters take no flags (the system refuses the call otherwise).
bool TakesNoFlags(uint32_t CodePage) {
    return CodePage == 65000 || CodePage == 65001 || CodePage == 54936 || CodePage == 42 ||
           (CodePage >= 50220 && CodePage <= 50229) || (CodePage >= 57002 && CodePage <= 57011);
}

bool ToWide(const std::string &Text, uint32_t CodePage, std::wstring &Out) {
    Out.clear();
    if (Text.empty())
        return true;
    const DWORD Flags = CodePage == CP_UTF8 || !TakesNoFlags(CodePage) ? MB_ERR_INVALID_CHARS : 0;
    const int Count = ::MultiByteToWideChar(CodePage, Flags, Text.data(),
                                            static_cast<int>(Text.size()), nullptr, 0);
    if (Count <= 0)
        return false;
    Out.resize(static_cast<size_t>(Count));
    return ::MultiByteToWideChar(CodePage, Flags, Text.data(), static_cast<int>(Text.size()),
                                 &Out[0], Count) == Count;
}

// Exact conversion only: no best-fit look-alikes, no default character, and the bytes must
// decode to the same text again.
bool FromWide(const std::wstring &Text, uint32_t CodePage, std::string &Out) {
    Out.clear();
    if (Text.empty())
        return true;
    const bool Flagless = TakesNoFlags(CodePage);
    BOOL UsedDefault = FALSE;
    const int Count = ::WideCharToMultiByte(
        CodePage, Flagless ? 0 : WC_NO_BEST_FIT_CHARS, Text.data(), static_cast<int>(Text.size()),
        nullptr, 0, nullptr, Flagless ? nullptr : &UsedDefault);
    if (Count <= 0 || UsedDefault)
        return false;
    Out.resize(static_cast<size_t>(Count));
    ::WideCharToMultiByte(CodePage, Flagless ? 0 : WC_NO_BEST_FIT_CHARS, Text.data(),
                          static_cast<int>(Text.size()), &Out[0], Count, nullptr, nullptr);
    std::wstring Back;
    return ToWide(Out, CodePage, Back) && Back == Text;
}

} // namespace

bool IsKnownCodePage(uint32_t CodePage) {
    // The Windows and DOS code pages that glibc's iconv knows too, so that a message file the
    // Linux build refuses is refused here as well (the system knows UTF-8, ISO and Mac ones).
    static const uint32_t Shared[] = {437, 737, 775, 850, 852, 855, 857, 858, 860, 861, 862,
                                      863, 864, 865, 866, 869, 874, 932, 936, 949, 950, 1250,
                                      1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 1361};
    return CodePage == 0 ||
           (std::find(std::begin(Shared), std::end(Shared), CodePage) != std::end(Shared) &&
            ::IsValidCodePage(CodePage) != 0);
}

bool EncodeCodePage(const std::string &Utf8, uint32_t CodePage, std::string &Out,
                    size_t &Misfit) {
    std::wstring Wide;
    if (ToWide(Utf8, CP_UTF8, Wide) && FromWide(Wide, CodePage, Out))
        return true;
    // The first character that does not fit, one at a time.
    std::string One;
    for (size_t I = 0, Length; I < Utf8.size(); I += Length) {
        Length = Utf8SequenceAt(Utf8, I);
        if (Length == 0 || !ToWide(Utf8.substr(I, Length), CP_UTF8, Wide) ||
            !FromWide(Wide, CodePage, One)) {
            Misfit = I;
            return false;
        }
    }
    Misfit = Utf8.size();
    return false;
}

bool DecodeCodePage(const std::string &Ansi, uint32_t CodePage, std::string &Utf8) {
    std::wstring Wide;
    return ToWide(Ansi, CodePage, Wide) && FromWide(Wide, CP_UTF8, Utf8);
}
