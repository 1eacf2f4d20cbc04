#include "tools/message_file.h"

#include <cctype>
#include <cstdio>
#include <memory>

#include "tools/host_files.h"
#include "tools/text_codec.h"

namespace {

struct TNamedMessage {
    const char *Name;
    int Number;
    int Arguments; // how many of %1..%9 the loader fills in
};

const TNamedMessage NamedMessages[] = {
    {"CreateDirFailed", MsgCreateDirFailed, 1},   {"RestartFailed", MsgRestartFailed, 0},
    {"ErrorCaption", MsgErrorCaption, 0},         {"DirFull", MsgDirFull, 1},
    {"SystemErrorFormat", MsgSystemErrorFormat, 3}, {"TempFileFailed", MsgTempFileFailed, 0},
    {"ChildStartFailed", MsgChildStartFailed, 0}, {"SetupCaption", MsgSetupCaption, 0},
    {"CorruptSetupData", MsgCorruptSetupData, 0}, {"StartupPrompt", MsgStartupPrompt, 1},
};

std::string Lower(std::string S) {
    for (char &C : S)
        C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    return S;
}

std::string Trim(const std::string &S) {
    size_t Begin = S.find_first_not_of(" \t");
    if (Begin == std::string::npos)
        return std::string();
    size_t End = S.find_last_not_of(" \t");
    return S.substr(Begin, End - Begin + 1);
}

// A decimal or 0x-prefixed hexadecimal number no larger than Max; false for anything else.
bool ParseNumber(const std::string &Text, uint32_t Max, uint32_t &Value) {
    if (Text.empty())
        return false;
    int Base = 10;
    size_t I = 0;
    if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
        Base = 16;
        I = 2;
    }
    uint64_t V = 0;
    for (; I < Text.size(); ++I) {
        int Digit;
        char C = Text[I];
        if (C >= '0' && C <= '9')
            Digit = C - '0';
        else if (Base == 16 && C >= 'a' && C <= 'f')
            Digit = C - 'a' + 10;
        else if (Base == 16 && C >= 'A' && C <= 'F')
            Digit = C - 'A' + 10;
        else
            return false;
        V = V * Base + Digit;
        if (V > Max)
            return false;
    }
    Value = static_cast<uint32_t>(V);
    return true;
}

// The highest %n placeholder in a text (%% skipped), 0 when there is none.
int HighestPlaceholder(const std::string &Text) {
    int Highest = 0;
    for (size_t I = 0; I + 1 < Text.size(); ++I) {
        if (Text[I] != '%')
            continue;
        char Selector = Text[I + 1];
        if (Selector == '%')
            ++I;
        else if (Selector >= '1' && Selector <= '9' && Selector - '0' > Highest)
            Highest = Selector - '0';
    }
    return Highest;
}

class TParser {
public:
    TParser(const std::string &FileName) : FFileName(FileName) {}

    TMessageFile Parse(const std::string &Text) {
        size_t Pos = 0;
        if (Text.compare(0, 3, "\xEF\xBB\xBF") == 0)
            Pos = 3; // a UTF-8 byte order mark
        while (Pos < Text.size()) {
            size_t End = Text.find('\n', Pos);
            if (End == std::string::npos)
                End = Text.size();
            std::string Line = Text.substr(Pos, End - Pos);
            if (!Line.empty() && Line.back() == '\r')
                Line.pop_back();
            ++FLine;
            ParseLine(Line);
            Pos = End + 1;
        }
        FLine = 0;
        if (!FHaveName)
            Fail("the language name is missing (add a line \"name = ...\")");
        if (!FHaveLanguageId)
            Fail("the LANGID is missing (add a line \"langid = 0x....\")");
        if (!FHaveCodePage)
            Fail("the code page is missing (add a line \"codepage = ...\")");
        ConvertAll();
        return std::move(FResult);
    }

private:
    [[noreturn]] void Fail(const std::string &Why) const {
        std::string Where = FFileName;
        if (FLine > 0)
            Where += ":" + std::to_string(FLine);
        throw EMessageFileError(Where + ": " + Why);
    }

    std::string Unescape(const std::string &Value) const {
        std::string Out;
        for (size_t I = 0; I < Value.size(); ++I) {
            if (Value[I] == '\0')
                Fail("a text holds a zero byte");
            if (Value[I] != '\\') {
                Out += Value[I];
                continue;
            }
            if (++I == Value.size())
                Fail("a backslash ends the line (write \\\\ for a backslash)");
            switch (Value[I]) {
            case 'n': Out += '\n'; break;
            case 'r': Out += '\r'; break;
            case 't': Out += '\t'; break;
            case 's': Out += ' '; break;
            case '\\': Out += '\\'; break;
            default:
                Fail(std::string("unknown escape \\") + Value[I] +
                     " (known: \\n \\r \\t \\s \\\\)");
            }
        }
        return Out;
    }

    void ParseLine(const std::string &Raw) {
        std::string Line = Trim(Raw);
        if (Line.empty() || Line[0] == '#' || Line[0] == ';')
            return;
        size_t Equals = Line.find('=');
        if (Equals == std::string::npos)
            Fail("expected \"key = text\"");
        std::string Key = Trim(Line.substr(0, Equals));
        std::string Value = Unescape(Trim(Line.substr(Equals + 1)));
        std::string LowerKey = Lower(Key);
        if (LowerKey == "name") {
            SetOnce(FHaveName, "name");
            if (Value.empty())
                Fail("the language name is empty");
            FName = Value;
            FNameLine = FLine;
        } else if (LowerKey == "langid") {
            SetOnce(FHaveLanguageId, "langid");
            if (!ParseNumber(Value, 0xFFFF, FResult.LanguageId))
                Fail("langid must be a number from 0 to 0xFFFF, such as 0x0409");
        } else if (LowerKey == "codepage") {
            SetOnce(FHaveCodePage, "codepage");
            if (!ParseNumber(Value, 0xFFFF, FResult.CodePage))
                Fail("codepage must be a Windows code page number such as 936, or 0");
            if (!IsKnownCodePage(FResult.CodePage))
                Fail("code page " + Value + " is not one that quovpack can convert");
        } else {
            int Number = -1;
            uint32_t N = 0;
            if (!Key.empty() && std::isdigit(static_cast<unsigned char>(Key[0]))) {
                if (!ParseNumber(Key, 0xFFFFFFFFu, N) || N >= LoaderMessageCount)
                    Fail("message number " + Key + " is outside 0.." +
                         std::to_string(LoaderMessageCount - 1));
                Number = static_cast<int>(N);
            } else {
                Number = MessageNumberByName(Key);
                if (Number < 0)
                    Fail("unknown key \"" + Key +
                         "\" (expected name, langid, codepage, a message number or a "
                         "message name such as StartupPrompt)");
            }
            if (FMessageLine[Number] != 0)
                Fail("message " + std::to_string(Number) + " is given twice (first on line " +
                     std::to_string(FMessageLine[Number]) + ")");
            FMessageLine[Number] = FLine;
            FUtf8[Number] = Value;
        }
    }

    void SetOnce(bool &Flag, const char *Key) const {
        if (Flag)
            Fail(std::string("\"") + Key + "\" is given twice");
        Flag = true;
    }

    void ConvertAll() {
        std::string Reason;
        FLine = FNameLine;
        if (!ConvertUtf8ToCodePage(FName, FResult.CodePage, FResult.Name, Reason))
            Fail("language name: " + Reason);
        for (int N = 0; N < LoaderMessageCount; ++N) {
            FLine = FMessageLine[N];
            if (!ConvertUtf8ToCodePage(FUtf8[N], FResult.CodePage, FResult.Messages[N], Reason))
                Fail("message " + std::to_string(N) + ": " + Reason);
        }
        for (const TNamedMessage &M : NamedMessages) {
            std::string Where = FFileName;
            if (FMessageLine[M.Number] != 0)
                Where += ":" + std::to_string(FMessageLine[M.Number]);
            if (FUtf8[M.Number].empty())
                FResult.Warnings.push_back(Where + ": message " + std::to_string(M.Number) +
                                           " (" + M.Name +
                                           ") is empty; the loader will show an empty text");
            else if (HighestPlaceholder(FUtf8[M.Number]) > M.Arguments)
                FResult.Warnings.push_back(
                    Where + ": message " + std::to_string(M.Number) + " (" + M.Name +
                    ") uses %" + std::to_string(HighestPlaceholder(FUtf8[M.Number])) +
                    " but the loader fills in " +
                    (M.Arguments == 0 ? std::string("no arguments")
                                      : "only %1.." + std::string("%") +
                                            std::to_string(M.Arguments)));
        }
        FLine = 0;
    }

    std::string FFileName;
    int FLine = 0;
    bool FHaveName = false, FHaveLanguageId = false, FHaveCodePage = false;
    std::string FName;
    int FNameLine = 0;
    std::string FUtf8[LoaderMessageCount];
    int FMessageLine[LoaderMessageCount] = {};
    TMessageFile FResult;
};

} // namespace

int MessageNumberByName(const std::string &Name) {
    std::string Key = Lower(Name);
    if (Key.compare(0, 3, "msg") == 0)
        Key.erase(0, 3);
    for (const TNamedMessage &M : NamedMessages)
        if (Lower(M.Name) == Key)
            return M.Number;
    return -1;
}

TMessageFile ParseMessageFile(const std::string &Text, const std::string &FileName) {
    return TParser(FileName).Parse(Text);
}

TMessageFile LoadMessageFile(const std::string &FileName) {
    THostInput In = OpenHostInput(FileName, "message file", MaxMessageFileSize,
                                  "too large for a message file (over " +
                                      std::to_string(MaxMessageFileSize >> 20) + " MiB)");
    return ParseMessageFile(ReadWholeHostInput(In), FileName);
}
