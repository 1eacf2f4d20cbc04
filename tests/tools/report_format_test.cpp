// What inspect and verify print for reports made by hand: each row a report and the fragments
// its text, JSON and verify line must hold.
#include "tools/report_format.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// An accepted package of 4096 bytes: image, second data, signature, records, the author's data,
// the program block, and 10 bytes behind it.
TPackageReport AcceptedReport() {
    TPackageReport R;
    R.FileSize = 4096;
    R.HaveHeaders = true;
    R.Pe.ImageEnd = 1024;
    R.Pe.StoredChecksum = R.ComputedChecksum = 0x1234;
    R.HaveTable = R.TableAccepted = true;
    R.Table.FormatVersion = 1;
    R.Table.SecondDataOffset = 1024;
    R.Table.SetupDataOffset = 1030;
    R.Table.SetupProgramOffset = 2000;
    R.Table.SetupProgramSize = 5000;
    R.Table.SetupProgramCRC = 0xCAFEF00D;
    R.Table.MinFileSize = 4086;
    R.RecordsBlock = {true, true, true, 1094, 500};
    R.ProgramBlock = {true, true, true, 2000, 4086 - 2000 - BlockHeaderSize};
    R.HaveRecords = true;
    R.ApplicationName = "\xD1\xDD\xCA\xBE"; // code page 936 of the Chinese language
    R.DetectMode = DetectNone;
    R.Languages = {{"English", 0x409, 0, 300, true}, {"\xD6\xD0\xCE\xC4", 0x804, 936, 280, false}};
    return R;
}

TEST(ReportFormat, ReportsGiveTheirTextAndJson) {
    struct {
        const char *Name;
        std::string Path;
        std::function<void(TPackageReport &)> Change;
        std::vector<std::string> Text, Json, Verify; // fragments each output must hold
    } Cases[] = {
        {"accepted", "setup.exe", [](TPackageReport &) {},
         {"File: setup.exe (4096 bytes)", "  SetupProgramCRC     0xCAFEF00D\n",
          "        1024 ..       1030  second data area       6 bytes\n",
          "        1094 ..       1603  setup records block    509 bytes\n",
          "        1603 ..       2000  further setup data     397 bytes\n",
          "        4086 ..       4096  behind MinFileSize     10 bytes\n",
          "  Application name    \xE6\xBC\x94\xE7\xA4\xBA\n", "  Language detection  none (2)\n",
          "  1  \xE4\xB8\xAD\xE6\x96\x87       LANGID 0x0804  code page 936   message block 280 "
          "bytes, INVALID\n",
          "PE checksum 0x00001234 (valid)", "The loader would accept this file"},
         {"\"file\": \"setup.exe\",\n  \"file_hex\": null,", "\"accepted\": true",
          "\"fault\": null", "\"setup_program_crc\": 3405705229",
          "{\"area\": \"setup data signature\", \"offset\": 1030, \"size\": 64}",
          "\"application_name\": \"\xE6\xBC\x94\xE7\xA4\xBA\", \"detect_mode\": \"none\", "
          "\"detect_mode_value\": 2",
          "{\"index\": 1, \"name\": \"\xE4\xB8\xAD\xE6\x96\x87\", \"langid\": 2052, "
          "\"codepage\": 936, \"message_block_size\": 280, \"message_block_valid\": false}",
          "\"pe_checksum\": {\"stored\": 4660, \"computed\": 4660, \"valid\": true}"},
         {"setup.exe: OK: the loader would accept it (2 language(s), setup program 5000 bytes); "
          "not signed\n"}},
        {"no offset table", "bad.exe",
         [](TPackageReport &R) {
             R.HaveTable = R.TableAccepted = R.HaveRecords = false;
             R.Fault = "offset table: not found";
             R.ComputedChecksum = 0x99;
             R.Notes = {"a \"note\""};
         },
         {"  0 ..       1024  image                  1024 bytes\n",
          "PE checksum 0x00001234 (does not match)", "Note: a \"note\"\n",
          "\nFAULT: offset table: not found\n"},
         {"\"accepted\": false", "\"fault\": \"offset table: not found\"",
          "\"offset_table\": null", "\"file_map\": [{\"area\": \"image\", \"offset\": 0, \"size\": "
          "1024}],", "\"setup\": null", "\"valid\": false", "\"notes\": [\"a \\\"note\\\"\"]"},
         {"bad.exe: FAULT: offset table: not found\n", "\"setup_program_size\": null"}},
        {"a name that is not UTF-8", "a\xFF\x01.exe", [](TPackageReport &R) { R.HaveHeaders = false; },
         {"File: a\xFF\x01.exe"},
         {"\"file\": \"a\\ufffd\\u0001.exe\"", "\"file_hex\": \"61ff012e657865\"",
          "\"pe_checksum\": null"},
         {"\"file_hex\": \"61ff012e657865\"", "\"languages\": 2", "\"setup_program_size\": 5000"}},
        {"signed, but this build cannot check signatures", "signed.exe",
         [](TPackageReport &R) {
             R.Signature.Present = true;
             R.Signature.Checked = false;
             R.Signature.TableOffset = 4096;
             R.Signature.TableSize = 1200;
         },
         {"  Certificate table   offset 4096, 1200 bytes\n  Not checked         NOT CHECKED: "},
         {"\"table_offset\": 4096", "\"matches\": null, \"signature_valid\": null", "\"checked\": false}"},
         {"setup program 5000 bytes); signed, NOT CHECKED: this build of quovpack cannot check",
          "\"accepted\": true", "\"fault\": null"}},
        {"a stored folder that does not read back", "files.exe",
         [](TPackageReport &R) {
             R.HaveStoredFolder = true;
             R.StoredFolderFiles = 3;
             R.StoredFolderFault = "stored folder at offset 900: damaged";
         },
         {},
         {},
         {"files.exe: FAULT: the loader would accept it, but its setup program would fail: "
          "stored folder at offset 900: damaged\n",
          "\"stored_folder\": {\"files\": 3, \"fault\": \"stored folder at offset 900: "
          "damaged\"}"}},
    };
    for (auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        TPackageReport R = AcceptedReport();
        C.Change(R);
        const std::string Text = FormatInspectText(C.Path, R);
        const std::string Json = FormatInspectJson(C.Path, R);
        const std::string Verify = FormatVerifyLine(C.Path, R) + FormatVerifyJson(C.Path, R);
        for (const std::string &F : C.Text)
            EXPECT_NE(Text.find(F), std::string::npos) << F << "\n" << Text;
        for (const std::string &F : C.Json)
            EXPECT_NE(Json.find(F), std::string::npos) << F << "\n" << Json;
        for (const std::string &F : C.Verify)
            EXPECT_NE(Verify.find(F), std::string::npos) << F << "\n" << Verify;
    }
}

} // namespace
