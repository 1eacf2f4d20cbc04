// The author's message file for one language: a UTF-8 text that names the language, its LANGID
// and code page, and gives texts by number (0..206) or by the loader's message names. Loading
// converts every text to the language's code page; what does not fit is refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "records/messages.h"
#include "support/exceptions.h"

// A message file is unusable; the message starts with "file:line: " where a line is to blame.
class EMessageFileError : public Exception {
public:
    using Exception::Exception;
};

struct TMessageFile {
    std::string Name;         // the language name in its code page (what "/Lang=" matches)
    uint32_t LanguageId = 0;  // a Windows LANGID, 0..0xFFFF
    uint32_t CodePage = 0;    // 0: any code page (ASCII texts only)
    std::string Messages[LoaderMessageCount]; // ANSI bytes, no zero bytes
    std::vector<std::string> Warnings;        // "file:line: ..." notes that do not stop packing
};

// A message file larger than this is not a message file.
constexpr uint64_t MaxMessageFileSize = 4u << 20;

// Parses the text of a message file; FileName is used in error messages only.
TMessageFile ParseMessageFile(const std::string &Text, const std::string &FileName);
// Reads and parses a file. A file that cannot be read is EInputError (tools/host_files.h).
TMessageFile LoadMessageFile(const std::string &FileName);

// The message number for a name ("MsgDirFull" or "DirFull", any letter case), or -1.
int MessageNumberByName(const std::string &Name);
