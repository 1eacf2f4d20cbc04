// Makes the default languages' end-to-end case: the installer of every shipped language (the
// packer's builder over the message files, "--lang all" order) and, for each language, the
// startup question and its caption as its message file writes them, in its code page.
// Usage: e2e_lang_make_case STUB SETUP_PROGRAM MESSAGES_DIR OUTPUT_DIR
#include <filesystem>
#include <fstream>
#include <iostream>

#include "default_languages_package.h"

namespace {

void WriteFile(const std::string &Path, const std::string &Bytes) {
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out.write(Bytes.data(), Bytes.size());
    if (!Out)
        throw std::runtime_error("cannot write " + Path);
}

} // namespace

int main(int Argc, char **Argv) {
    if (Argc != 5) {
        std::cerr << "usage: e2e_lang_make_case STUB SETUP_PROGRAM MESSAGES_DIR OUTPUT_DIR\n";
        return 2;
    }
    namespace P = DefaultLanguagesPackage;
    try {
        const std::string Messages = Argv[3], Out = std::string(Argv[4]) + "/";
        std::filesystem::create_directories(Out);
        WriteFile(Out + "all_languages.exe",
                  BuildPackage(P::Parts(Messages, P::ReadText(Argv[1]), P::ReadText(Argv[2]))));
        for (const std::string &Short : ListDefaultLanguages(Messages)) {
            WriteFile(Out + "prompt_" + Short + ".txt",
                      P::ExpectedText(Messages, Short, "StartupPrompt"));
            WriteFile(Out + "caption_" + Short + ".txt",
                      P::ExpectedText(Messages, Short, "SetupCaption"));
        }
    } catch (const std::exception &E) {
        std::cerr << "e2e_lang_make_case: " << E.what() << "\n";
        return 1;
    } catch (const Exception &E) {
        std::cerr << "e2e_lang_make_case: " << E.Message() << "\n";
        return 1;
    }
    return 0;
}
