// Command lines and what the scanner makes of them; shared by the scanner test and the test that
// starts a program with these exact command lines.
#pragma once

#include <string>
#include <vector>

struct TCommandLineCase {
    std::string CommandLine;
    std::vector<std::string> Params; // the parameters behind parameter 0
    std::string Tail;
};

// Every backslash is one byte.
inline const std::vector<TCommandLineCase> &CommandLineCases() {
    static const std::vector<TCommandLineCase> Cases = {
        {"setup.exe", {}, ""},
        {"setup.exe   ", {}, ""},
        {"\"C:\\my dir\\setup.exe\" /SP- /Lang=en", {"/SP-", "/Lang=en"}, "/SP- /Lang=en"},
        {"setup.exe /a   ", {"/a"}, "/a   "},
        {"setup.exe \"a b\"c d", {"a bc", "d"}, "\"a b\"c d"},
        {"setup.exe a\"\"b \"\" x", {"ab", "", "x"}, "a\"\"b \"\" x"},
        {"setup.exe \"unterminated text", {"unterminated text"}, "\"unterminated text"},
        {"\"C:\\x y\\s.exe\"/a b", {"b"}, "b"},
        {" setup.exe /a", {"setup.exe", "/a"}, "setup.exe /a"},
        {"setup.exe\t/a\t\t\"b\tc\"\x01"
         "d",
         {"/a", "b\tc", "d"},
         "/a\t\t\"b\tc\"\x01"
         "d"},
        {"setup.exe \xA1\xA1x\xA0y \\\"a", {"\xA1\xA1x\xA0y", "\\a"}, "\xA1\xA1x\xA0y \\\"a"},
        {"s.exe  \"\"  ", {""}, "\"\"  "},
        {"", {}, ""},
    };
    return Cases;
}
