// The installer that holds every default language, built in memory with the packer's own
// builder from the shipped message files, and the startup question each language should show,
// taken straight from its file's text. Host side of the default-language tests (the table test
// and the Wine end-to-end cases).
#pragma once

#include <cstddef>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "records/language.h"
#include "tools/default_languages.h"
#include "tools/message_file.h"
#include "tools/package_builder.h"
#include "tools/packlib/message_block_writer.h"
#include "tools/text_codec.h"

namespace DefaultLanguagesPackage {

// ASCII: every code page shows it as it is, the backslash and the tilde included.
const char ApplicationName[] = "Demo\\Tools~2";

inline std::string ReadText(const std::string &Path) {
    std::ifstream In(Path, std::ios::binary);
    if (!In)
        throw std::runtime_error("cannot read " + Path);
    return std::string(std::istreambuf_iterator<char>(In), {});
}

// The parts of the "--lang all" installer over the message files in Folder, in that order.
inline TPackageParts Parts(const std::string &Folder, const std::string &Stub,
                           const std::string &Program) {
    TPackageParts P;
    P.Stub = Stub;
    P.Program = Program;
    std::vector<uint32_t> CodePages;
    for (const std::string &Path : ResolveLanguageValues({"all"}, Folder)) {
        const TMessageFile File = LoadMessageFile(Path);
        P.Languages.push_back({File.Name, BuildMessageBlock(File.Messages), File.LanguageId,
                               File.CodePage});
        CodePages.push_back(File.CodePage);
    }
    P.Header.ApplicationName = ConvertApplicationName(ApplicationName, CodePages);
    P.Header.LanguageEntryCount = static_cast<int32_t>(P.Languages.size());
    P.Header.LanguageDetectMode = DetectByUILanguage;
    return P;
}

// The text of message Key in Folder/Short.txt as its line reads, %1 filled in with the
// application name by hand, in the file's code page: what the user must see.
inline std::string ExpectedText(const std::string &Folder, const std::string &Short,
                                const std::string &Key) {
    const std::string Text = ReadText(Folder + "/" + Short + ".txt");
    const size_t Start = Text.find("\n" + Key + " = ") + Key.size() + 4;
    std::string Line = Text.substr(Start, Text.find('\n', Start) - Start);
    if (Line.find("%1") != std::string::npos)
        Line.replace(Line.find("%1"), 2, ApplicationName);
    const std::string CodePageKey = "\ncodepage = ";
    const size_t CodePageAt = Text.find(CodePageKey) + CodePageKey.size();
    std::string Out, Reason;
    if (!ConvertUtf8ToCodePage(Line, std::stoul(Text.substr(CodePageAt)), Out, Reason))
        throw std::runtime_error(Short + ": " + Reason);
    return Out;
}

} // namespace DefaultLanguagesPackage
