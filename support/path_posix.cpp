#include "support/path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

bool NoLeadBytes(unsigned char) {
    return false;
}

} // namespace

const TCharScanner SystemCharScanner = {NoLeadBytes, nullptr};

std::string MakeFullPath(const std::string &S) {
    constexpr size_t Limit = 4096;
    if (S.empty())
        return S;
    std::string Joined;
    if (S[0] != '/') {
        char Cwd[Limit];
        if (!::getcwd(Cwd, sizeof(Cwd)))
            return S;
        Joined = Cwd;
        Joined += '/';
    }
    Joined += S;
    // Resolve "." and ".." by name, as the Windows call does; links are not followed.
    std::vector<std::string> Parts;
    size_t Start = 0;
    while (Start <= Joined.size()) {
        size_t End = Joined.find('/', Start);
        if (End == std::string::npos)
            End = Joined.size();
        std::string Part = Joined.substr(Start, End - Start);
        if (Part == "..") {
            if (!Parts.empty())
                Parts.pop_back();
        } else if (!Part.empty() && Part != ".") {
            Parts.push_back(Part);
        }
        Start = End + 1;
    }
    std::string Result;
    for (const std::string &Part : Parts)
        Result += '/' + Part;
    // A trailing separator of the input stays, as GetFullPathNameA keeps it.
    if (Result.empty() || S.back() == '/')
        Result += '/';
    if (Result.size() >= Limit)
        return S;
    return Result;
}

uint32_t QueryPathAttributes(const std::string &S) {
    struct stat Info;
    if (S.empty() || ::stat(StripTrailingSeparators(S).c_str(), &Info) != 0)
        return PathAttributesInvalid;
    return S_ISDIR(Info.st_mode) ? PathAttributeDirectory : 0x80u;
}
