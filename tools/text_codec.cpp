#include "tools/text_codec.h"

namespace {

// The UTF-8 character at Offset, for error messages (never past the end).
std::string CharacterAt(const std::string &Utf8, size_t Offset) {
    if (Offset >= Utf8.size())
        return "end of text";
    const size_t Length = Utf8SequenceAt(Utf8, Offset);
    return "\"" + Utf8.substr(Offset, Length == 0 ? 1 : Length) + "\"";
}

std::string EscapeByte(unsigned char Byte) {
    static const char Hex[] = "0123456789ABCDEF";
    switch (Byte) {
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: return std::string("\\x") + Hex[Byte >> 4] + Hex[Byte & 15];
    }
}

} // namespace

size_t Utf8SequenceAt(const std::string &Text, size_t At, uint32_t *Code) {
    const unsigned char Lead = Text[At];
    const size_t Length = Lead < 0x80                 ? 1
                          : Lead >= 0xC2 && Lead <= 0xDF ? 2
                          : Lead >= 0xE0 && Lead <= 0xEF ? 3
                          : Lead >= 0xF0 && Lead <= 0xF4 ? 4
                                                         : 0;
    if (Length == 0 || At + Length > Text.size())
        return 0;
    uint32_t Value = Length == 1 ? Lead : Lead & (0x7F >> Length);
    for (size_t I = 1; I < Length; ++I) {
        const unsigned char Next = Text[At + I];
        if ((Next & 0xC0) != 0x80)
            return 0;
        Value = Value << 6 | (Next & 0x3F);
    }
    const uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (Value < Least[Length] || Value > 0x10FFFF || (Value >= 0xD800 && Value <= 0xDFFF))
        return 0;
    if (Code)
        *Code = Value;
    return Length;
}

size_t FindInvalidUtf8(const std::string &Text) {
    for (size_t I = 0, Length; I < Text.size(); I += Length)
        if ((Length = Utf8SequenceAt(Text, I)) == 0)
            return I;
    return Text.size();
}

bool ConvertUtf8ToCodePage(const std::string &Utf8, uint32_t CodePage, std::string &Out,
                           std::string &Reason) {
    // Checked as UTF-8 first so that a bad file is reported as such, not as a code page misfit.
    const size_t Bad = FindInvalidUtf8(Utf8);
    if (Bad != Utf8.size()) {
        Reason = "invalid UTF-8 at byte " + std::to_string(Bad + 1);
        return false;
    }
    if (CodePage == 0) {
        for (size_t I = 0; I < Utf8.size(); ++I)
            if (static_cast<unsigned char>(Utf8[I]) >= 0x80) {
                Reason = "character " + CharacterAt(Utf8, I) +
                         " is not ASCII (code page 0 allows ASCII only)";
                return false;
            }
        Out = Utf8;
        return true;
    }
    if (!IsKnownCodePage(CodePage)) {
        Reason = "code page " + std::to_string(CodePage) + " is not known";
        return false;
    }
    size_t Misfit = 0;
    if (!EncodeCodePage(Utf8, CodePage, Out, Misfit)) {
        Reason = "character " + CharacterAt(Utf8, Misfit) + " cannot be written in code page " +
                 std::to_string(CodePage);
        return false;
    }
    return true;
}

bool ConvertCodePageToUtf8(const std::string &Ansi, uint32_t CodePage, std::string &Utf8) {
    return CodePage != 0 && DecodeCodePage(Ansi, CodePage, Utf8);
}

std::string CodePageToDisplay(const std::string &Ansi, uint32_t CodePage) {
    std::string Out;
    std::string Converted;
    if (ConvertCodePageToUtf8(Ansi, CodePage, Converted)) {
        for (unsigned char C : Converted)
            Out += (C < 0x20 || C == 0x7F) ? EscapeByte(C) : std::string(1, C);
        return Out;
    }
    for (unsigned char C : Ansi)
        Out += (C < 0x20 || C >= 0x7F) ? EscapeByte(C) : std::string(1, C);
    return Out;
}
