#include "tools/default_languages.h"

#include <algorithm>
#include <cstdio>

#include "tools/host_files.h"
#include "tools/message_file.h"
#include "tools/text_codec.h"

const std::vector<std::string> DefaultLanguageOrder = {
    "en", "de", "fr", "es", "it", "pt_BR", "pt_PT", "nl", "sv", "da", "nb", "fi", "pl",
    "cs", "hu", "ru", "uk", "tr", "el",    "he",    "ar", "ja", "ko", "zh_CN", "zh_TW"};

namespace {

const std::string Suffix = ".txt";

bool EndsWithSuffix(const std::string &Text) {
    return Text.size() > Suffix.size() &&
           Text.compare(Text.size() - Suffix.size(), Suffix.size(), Suffix) == 0;
}

bool IsPathValue(const std::string &Value) {
    return HasHostPathSeparator(Value) || EndsWithSuffix(Value) || IsHostRegularFile(Value);
}

} // namespace

std::vector<std::string> ListDefaultLanguages(const std::string &Folder) {
    std::vector<THostFolderEntry> Entries;
    try {
        Entries = ListHostFolder(Folder);
    } catch (const EInputError &) {
        throw EInputError("cannot read the message folder " + Folder);
    }
    std::vector<std::string> Names;
    for (const THostFolderEntry &Entry : Entries) {
        const std::string &File = Entry.Name;
        if (EndsWithSuffix(File) && IsHostRegularFile(Folder + HostPathSeparator + File))
            Names.push_back(File.substr(0, File.size() - Suffix.size()));
    }
    auto Rank = [](const std::string &Name) {
        return std::find(DefaultLanguageOrder.begin(), DefaultLanguageOrder.end(), Name) -
               DefaultLanguageOrder.begin();
    };
    std::sort(Names.begin(), Names.end(), [&](const std::string &A, const std::string &B) {
        return Rank(A) != Rank(B) ? Rank(A) < Rank(B) : A < B;
    });
    return Names;
}

std::vector<std::string> ResolveLanguageValues(const std::vector<std::string> &Values,
                                               const std::string &Folder) {
    std::vector<std::string> Paths;
    for (const std::string &Value : Values) {
        if (IsPathValue(Value)) {
            Paths.push_back(Value);
        } else if (Value == "all") {
            for (const std::string &Name : ListDefaultLanguages(Folder))
                if (std::find(Values.begin(), Values.end(), Name) == Values.end())
                    Paths.push_back(Folder + HostPathSeparator + Name + Suffix);
        } else {
            Paths.push_back(Folder + HostPathSeparator + Value + Suffix);
            if (!IsHostRegularFile(Paths.back()))
                throw EInputError("--lang " + Value + ": no such file, and no default language of "
                                  "that name in " + Folder + " ('quovpack languages' lists them)");
        }
    }
    return Paths;
}

std::string FormatDefaultLanguages(const std::string &Folder) {
    std::string Text = "short name  /Lang= name         LANGID  code page  file\n";
    for (const std::string &Name : ListDefaultLanguages(Folder)) {
        const std::string Path = Folder + HostPathSeparator + Name + Suffix;
        TMessageFile File;
        try {
            File = LoadMessageFile(Path);
        } catch (const EMessageFileError &E) {
            throw EInputError(E.Message());
        }
        char Line[160];
        std::snprintf(Line, sizeof(Line), "%-11s %-19s 0x%04X  %-9u  ", Name.c_str(),
                      CodePageToDisplay(File.Name, File.CodePage).c_str(), File.LanguageId, File.CodePage);
        Text += Line + Path + "\n";
    }
    return Text;
}
