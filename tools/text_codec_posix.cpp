#include "tools/text_codec.h"

#include <cerrno>
#include <iconv.h>

namespace {

std::string IconvName(uint32_t CodePage) { return "CP" + std::to_string(CodePage); }

// One iconv descriptor, closed on every path.
class TIconv {
public:
    TIconv(const std::string &To, const std::string &From)
        : FHandle(::iconv_open(To.c_str(), From.c_str())) {}
    ~TIconv() {
        if (Valid())
            ::iconv_close(FHandle);
    }
    TIconv(const TIconv &) = delete;
    TIconv &operator=(const TIconv &) = delete;
    bool Valid() const { return FHandle != reinterpret_cast<iconv_t>(-1); }

    // Converts all of In; on failure returns false with the offset of the first bad byte.
    bool Convert(const std::string &In, std::string &Out, size_t &BadOffset) {
        Out.clear();
        char *Src = const_cast<char *>(In.data());
        size_t SrcLeft = In.size();
        char Buffer[256];
        while (SrcLeft > 0) {
            char *Dst = Buffer;
            size_t DstLeft = sizeof(Buffer);
            size_t Result = ::iconv(FHandle, &Src, &SrcLeft, &Dst, &DstLeft);
            Out.append(Buffer, Dst - Buffer);
            if (Result == static_cast<size_t>(-1) && errno != E2BIG) {
                BadOffset = In.size() - SrcLeft;
                return false;
            }
        }
        char *Dst = Buffer;
        size_t DstLeft = sizeof(Buffer);
        if (::iconv(FHandle, nullptr, nullptr, &Dst, &DstLeft) == static_cast<size_t>(-1)) {
            BadOffset = In.size();
            return false;
        }
        Out.append(Buffer, Dst - Buffer);
        return true;
    }

private:
    iconv_t FHandle;
};

} // namespace

bool IsKnownCodePage(uint32_t CodePage) {
    if (CodePage == 0)
        return true;
    TIconv Probe("UTF-8", IconvName(CodePage));
    return Probe.Valid();
}

bool EncodeCodePage(const std::string &Utf8, uint32_t CodePage, std::string &Out,
                    size_t &Misfit) {
    TIconv Encoder(IconvName(CodePage), "UTF-8");
    return Encoder.Valid() && Encoder.Convert(Utf8, Out, Misfit);
}

bool DecodeCodePage(const std::string &Ansi, uint32_t CodePage, std::string &Utf8) {
    TIconv Decoder("UTF-8", IconvName(CodePage));
    size_t Bad = 0;
    return Decoder.Valid() && Decoder.Convert(Ansi, Utf8, Bad);
}
