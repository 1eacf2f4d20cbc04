// Path operations on ANSI byte strings, character by character in double-byte code pages.
// Owns nothing. The scanning logic is portable and borrows a lead-byte test (TCharScanner); the
// system parts (full path, attributes) live in path_win32.cpp / path_posix.cpp.
// None of these functions throws: each returns a defined value for every input.
#pragma once

#include <cstdint>
#include <string>

// How characters are told apart. Positions are 1-based; the prefix of length L is bytes 1 to L.
struct TCharScanner {
    // True if B starts a double-byte character.
    bool (*IsLeadByte)(unsigned char B);
    // The start of the last character among the first Length (> 0) bytes of S; nullptr walks the
    // bytes from the start with IsLeadByte.
    int32_t (*LastCharStartIn)(const char *S, int32_t Length);
};

// Windows: IsDBCSLeadByte and CharPrevA of the system code page. Host: no lead bytes.
extern const TCharScanner SystemCharScanner;

constexpr uint32_t PathAttributesInvalid = 0xFFFFFFFFu; // INVALID_FILE_ATTRIBUTES
constexpr uint32_t PathAttributeDirectory = 0x10;       // FILE_ATTRIBUTE_DIRECTORY

// True for the two separators, 0x5C and 0x2F.
inline bool IsPathSeparator(char C) {
    return C == '\\' || C == '/';
}

// 1 or 2: the byte count of the character that starts at P (1 to length of S). A lead byte that
// is the last byte is a character of one byte.
int32_t CharSizeAt(const std::string &S, int32_t P,
                   const TCharScanner &Scanner = SystemCharScanner);

// The position of the first byte of the last character of S; 0 for an empty S.
int32_t LastCharStart(const std::string &S, const TCharScanner &Scanner = SystemCharScanner);

// Length of the part that names a drive ("C:", "C:\") or a network share ("\\server\share");
// 0 if none.
int32_t RootPrefixLength(const std::string &S, bool IncludeSeparator,
                         const TCharScanner &Scanner = SystemCharScanner);

// Length of the directory part: with IncludeSeparator the position of the last separator behind
// the root part, without it the end of the last component in front of a separator run. Never less
// than the root part (with its separator).
int32_t DirPrefixLength(const std::string &S, bool IncludeSeparator,
                        const TCharScanner &Scanner = SystemCharScanner);

// The last component: everything behind the directory part and its separator; may be empty.
std::string FileNamePart(const std::string &S, const TCharScanner &Scanner = SystemCharScanner);

// Position of the last dot in the file name part; 0 if it has none.
int32_t ExtensionDotPos(const std::string &S, const TCharScanner &Scanner = SystemCharScanner);

// S with its extension (from the dot) replaced by Ext, which carries its own dot; Ext is appended
// when S has no extension.
std::string ReplaceExtension(const std::string &S, const std::string &Ext,
                             const TCharScanner &Scanner = SystemCharScanner);

// S ending in a separator (a backslash is appended when needed); an empty S stays empty.
std::string EnsureTrailingSeparator(const std::string &S,
                                    const TCharScanner &Scanner = SystemCharScanner);

// S without trailing separators, never shorter than its root part ("C:\" and "\" stay).
std::string StripTrailingSeparators(const std::string &S,
                                    const TCharScanner &Scanner = SystemCharScanner);

// The absolute form of S, or S unchanged when the system cannot expand it or the result would
// need 4096 bytes or more. Host: S made absolute against the current directory, "." and ".."
// resolved by name (links are not followed).
std::string MakeFullPath(const std::string &S);

// The attribute word of S (trailing separators stripped first); PathAttributesInvalid when the
// path cannot be queried. Host: PathAttributeDirectory for a directory, 0x80 (normal) otherwise.
uint32_t QueryPathAttributes(const std::string &S);

// True if S names an existing directory.
bool IsExistingDirectory(const std::string &S);

// True if S names an existing file or directory.
bool IsExistingPath(const std::string &S);
