// The default message files that come with quovpack, in its installed message folder: which
// there are, the order "--lang all" packs them in, and what a --lang value names. Reads the
// folder and the files; keeps nothing.
#pragma once

#include <string>
#include <vector>

// The short names (file names without ".txt") in the order "--lang all" packs them: English
// first, so that it is the fallback language, then the others as messages/README.md lists them.
extern const std::vector<std::string> DefaultLanguageOrder;

// The short names of the message files (*.txt) in Folder, in DefaultLanguageOrder; files that
// are not in that order follow, sorted by name. Throws EInputError when Folder cannot be read.
std::vector<std::string> ListDefaultLanguages(const std::string &Folder);

// The message files the --lang values name, in order. A value that names an existing file, holds
// a '/' or ends in ".txt" is a path; "all" stands for every default language that no other value
// names by its short name; anything else is a short name, Folder/NAME.txt. Throws EInputError
// for a short name without a file in Folder.
std::vector<std::string> ResolveLanguageValues(const std::vector<std::string> &Values,
                                               const std::string &Folder);

// What "quovpack languages" prints: a heading and one line per default language (short name,
// name for "/Lang=", LANGID, code page, file). Throws EInputError for a file that does not load.
std::string FormatDefaultLanguages(const std::string &Folder);
