#include "support/path.h"

namespace {

// The start of the last character among the first Length bytes of S (0 when Length is 0).
int32_t LastCharStartIn(const char *S, int32_t Length, const TCharScanner &Scanner) {
    if (Length <= 0)
        return 0;
    if (Scanner.LastCharStartIn)
        return Scanner.LastCharStartIn(S, Length);
    int32_t Last = 0;
    for (int32_t P = 1; P <= Length;) {
        Last = P;
        P += (P < Length && Scanner.IsLeadByte(static_cast<unsigned char>(S[P - 1]))) ? 2 : 1;
    }
    return Last;
}

bool IsSeparatorAt(const std::string &S, int32_t P) {
    return IsPathSeparator(S[P - 1]);
}

} // namespace

int32_t CharSizeAt(const std::string &S, int32_t P, const TCharScanner &Scanner) {
    int32_t N = static_cast<int32_t>(S.size());
    if (P >= 1 && P < N && Scanner.IsLeadByte(static_cast<unsigned char>(S[P - 1])))
        return 2;
    return 1;
}

int32_t LastCharStart(const std::string &S, const TCharScanner &Scanner) {
    return LastCharStartIn(S.data(), static_cast<int32_t>(S.size()), Scanner);
}

int32_t RootPrefixLength(const std::string &S, bool IncludeSeparator, const TCharScanner &Scanner) {
    int32_t N = static_cast<int32_t>(S.size());
    if (N >= 2 && IsSeparatorAt(S, 1) && IsSeparatorAt(S, 2)) {
        // "\\server\share": the root runs up to the separator that ends the share name; a run
        // of separators between server and share belongs to it.
        int32_t P = 3;
        int32_t Separators = 0;
        while (P <= N) {
            if (IsSeparatorAt(S, P)) {
                if (++Separators == 2)
                    break;
                while (P <= N && IsSeparatorAt(S, P))
                    ++P;
            } else {
                P += CharSizeAt(S, P, Scanner);
            }
        }
        return P - 1;
    }
    if (N >= 1 && IsSeparatorAt(S, 1))
        return IncludeSeparator ? 1 : 0;
    if (N == 0)
        return 0;
    // Any first character, a double-byte one included, followed by a colon is a drive.
    int32_t Q = CharSizeAt(S, 1, Scanner) + 1;
    if (N < Q || S[Q - 1] != ':')
        return 0;
    if (IncludeSeparator && N > Q && IsSeparatorAt(S, Q + 1))
        return Q + 1;
    return Q;
}

int32_t DirPrefixLength(const std::string &S, bool IncludeSeparator, const TCharScanner &Scanner) {
    int32_t N = static_cast<int32_t>(S.size());
    int32_t Result = RootPrefixLength(S, true, Scanner);
    int32_t LastNonSeparatorEnd = Result;
    for (int32_t P = Result + 1; P <= N;) {
        if (IsSeparatorAt(S, P)) {
            Result = IncludeSeparator ? P : LastNonSeparatorEnd;
            ++P;
        } else {
            P += CharSizeAt(S, P, Scanner);
            LastNonSeparatorEnd = P - 1;
        }
    }
    return Result;
}

std::string FileNamePart(const std::string &S, const TCharScanner &Scanner) {
    return S.substr(static_cast<size_t>(DirPrefixLength(S, true, Scanner)));
}

int32_t ExtensionDotPos(const std::string &S, const TCharScanner &Scanner) {
    int32_t N = static_cast<int32_t>(S.size());
    int32_t Dot = 0;
    for (int32_t P = DirPrefixLength(S, true, Scanner) + 1; P <= N; P += CharSizeAt(S, P, Scanner))
        if (S[P - 1] == '.')
            Dot = P;
    return Dot;
}

std::string ReplaceExtension(const std::string &S, const std::string &Ext,
                             const TCharScanner &Scanner) {
    int32_t Dot = ExtensionDotPos(S, Scanner);
    if (Dot == 0)
        return S + Ext;
    return S.substr(0, static_cast<size_t>(Dot - 1)) + Ext;
}

std::string EnsureTrailingSeparator(const std::string &S, const TCharScanner &Scanner) {
    if (S.empty())
        return S;
    // A double-byte last character never counts as a separator, whatever its trail byte.
    if (IsSeparatorAt(S, LastCharStart(S, Scanner)))
        return S;
    return S + '\\';
}

std::string StripTrailingSeparators(const std::string &S, const TCharScanner &Scanner) {
    int32_t Root = RootPrefixLength(S, true, Scanner);
    int32_t Length = static_cast<int32_t>(S.size());
    while (Length > Root && IsSeparatorAt(S, LastCharStartIn(S.data(), Length, Scanner)))
        --Length;
    if (Length == static_cast<int32_t>(S.size()))
        return S;
    return S.substr(0, static_cast<size_t>(Length));
}

bool IsExistingDirectory(const std::string &S) {
    uint32_t Attributes = QueryPathAttributes(S);
    return Attributes != PathAttributesInvalid && (Attributes & PathAttributeDirectory) != 0;
}

bool IsExistingPath(const std::string &S) {
    return QueryPathAttributes(S) != PathAttributesInvalid;
}
