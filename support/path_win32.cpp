#include "support/path.h"
#include "support/win.h"

namespace {

bool SystemIsLeadByte(unsigned char B) {
    return ::IsDBCSLeadByte(B) != FALSE;
}

int32_t SystemLastCharStartIn(const char *S, int32_t Length) {
    return static_cast<int32_t>(::CharPrevA(S, S + Length) - S) + 1;
}

} // namespace

const TCharScanner SystemCharScanner = {SystemIsLeadByte, SystemLastCharStartIn};

std::string MakeFullPath(const std::string &S) {
    constexpr DWORD BufferSize = 4096;
    char Buffer[BufferSize];
    char *FilePart = nullptr;
    DWORD Count = ::GetFullPathNameA(S.c_str(), BufferSize, Buffer, &FilePart);
    if (Count == 0 || Count >= BufferSize)
        return S;
    return std::string(Buffer, Count);
}

uint32_t QueryPathAttributes(const std::string &S) {
    return ::GetFileAttributesA(StripTrailingSeparators(S).c_str());
}
