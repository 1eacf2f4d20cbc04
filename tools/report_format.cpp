#include "tools/report_format.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "records/setup_records.h"
#include "tools/text_codec.h"

namespace {

// printf into a string, of any length.
std::string Format(const char *Pattern, ...) {
    va_list Args, Again;
    va_start(Args, Pattern);
    va_copy(Again, Args);
    const int Length = std::vsnprintf(nullptr, 0, Pattern, Args);
    va_end(Args);
    std::string Text(Length > 0 ? static_cast<size_t>(Length) : 0, '\0');
    if (Length > 0)
        std::vsnprintf(&Text[0], Text.size() + 1, Pattern, Again);
    va_end(Again);
    return Text;
}

unsigned long long Ull(uint64_t V) {
    return static_cast<unsigned long long>(V);
}

const char *Bool(bool Value) {
    return Value ? "true" : "false";
}

// The file name twice: as a JSON string (see JsonString), and when it is not valid UTF-8 also
// as the hexadecimal bytes that name it exactly.
std::string JsonFileKeys(const std::string &Path) {
    std::string Hex;
    if (FindInvalidUtf8(Path) != Path.size()) {
        static const char Digits[] = "0123456789abcdef";
        for (unsigned char C : Path) {
            Hex += Digits[C >> 4];
            Hex += Digits[C & 15];
        }
    }
    return "  \"json_format_version\": " + std::to_string(JsonFormatVersion) +
           ",\n  \"file\": " + JsonString(Path) +
           ",\n  \"file_hex\": " + (Hex.empty() ? std::string("null") : "\"" + Hex + "\"") + ",\n";
}

std::string JsonFault(const TPackageReport &R) {
    return "  \"fault\": " + (R.Fault.empty() ? std::string("null") : JsonString(R.Fault)) + ",\n";
}

std::string JsonNotes(const TPackageReport &R) {
    std::string J = "  \"notes\": [";
    for (size_t I = 0; I < R.Notes.size(); ++I)
        J += std::string(I ? ", " : "") + JsonString(R.Notes[I]);
    return J + "]\n";
}

std::string JsonOrNull(const std::string &Text) {
    return Text.empty() ? std::string("null") : JsonString(Text);
}

std::string JsonSignature(const TSignatureReport &S) {
    if (!S.Present)
        return "  \"signature\": {\"present\": false},\n";
    return "  \"signature\": {\"present\": true, \"table_offset\": " +
           std::to_string(S.TableOffset) + ", \"table_size\": " + std::to_string(S.TableSize) +
           ", \"digest_algorithm\": " + JsonOrNull(S.DigestAlgorithm) +
           ", \"signed_digest\": " + JsonOrNull(S.SignedDigest) +
           ", \"computed_digest\": " + JsonOrNull(S.ComputedDigest) +
           ", \"matches\": " + (S.Checked ? Bool(S.DigestMatches) : "null") +
           ", \"signature_valid\": " + (S.Checked ? Bool(S.SignatureValid) : "null") +
           ", \"signer\": " + JsonOrNull(S.Signer) + ", \"issuer\": " + JsonOrNull(S.Issuer) +
           ", \"certificates\": " + JsonOrNull(S.Certificates) +
           ", \"time_stamp\": " + JsonOrNull(S.TimeStamp) + ", \"fault\": " + JsonOrNull(S.Fault) +
           ", \"checked\": " + Bool(S.Checked) + "},\n";
}

// The signature in one line, for verify's verdict.
std::string SignatureSummary(const TSignatureReport &S) {
    if (!S.Present)
        return "not signed";
    if (!S.Checked)
        return "signed, " + UncheckedSignatureText;
    return "signed, " + S.DigestAlgorithm + " image hash matches, signer " + S.Signer +
           ", issuer " + S.Issuer + ", " +
           (S.TimeStamp.empty() ? std::string("no time stamp") : "time stamp " + S.TimeStamp);
}

// inspect's signature section.
std::string FormatSignatureText(const TSignatureReport &S) {
    std::string Out = "\nSignature\n";
    if (!S.Present)
        return Out + "  not signed\n";
    Out += Format("  Certificate table   offset %llu, %llu bytes\n", Ull(S.TableOffset),
                  Ull(S.TableSize));
    if (!S.Checked)
        Out += "  Not checked         " + UncheckedSignatureText + "\n";
    if (!S.DigestAlgorithm.empty())
        Out += "  Digest algorithm    " + S.DigestAlgorithm + "\n";
    if (!S.ComputedDigest.empty()) {
        Out += "  Image hash          " +
               (S.DigestMatches ? "matches, " + S.ComputedDigest
                                : "DOES NOT MATCH: the file gives " + S.ComputedDigest +
                                      ", the signed one is " + S.SignedDigest) +
               "\n";
        Out += std::string("  Signer's signature  ") +
               (S.SignatureValid ? "valid (whether its certificate is trusted is not judged)"
                                 : "INVALID") +
               "\n";
    }
    if (!S.Signer.empty())
        Out += "  Signer              " + S.Signer + "\n  Issuer              " + S.Issuer +
               "\n  Certificates        " + S.Certificates + "\n";
    if (!S.SignedDigest.empty())
        Out += "  Time stamp          " + (S.TimeStamp.empty() ? std::string("none") : S.TimeStamp) +
               "\n";
    if (!S.Fault.empty())
        Out += "  Fault               " + S.Fault + "\n";
    return Out;
}

} // namespace

std::string DetectModeName(uint8_t Mode) {
    return Mode == DetectByUILanguage ? "ui" : Mode == DetectByUserLocale ? "locale" : "none";
}

std::string JsonString(const std::string &Text) {
    std::string Out = "\"";
    for (size_t I = 0; I < Text.size();) {
        const unsigned char C = Text[I];
        const size_t Length = Utf8SequenceAt(Text, I);
        if (Length == 0) {
            Out += "\\ufffd";
            ++I;
            continue;
        }
        if (C == '"' || C == '\\') {
            Out += '\\';
            Out += static_cast<char>(C);
        } else if (C < 0x20 || C == 0x7F) {
            Out += Format("\\u%04x", C);
        } else {
            Out.append(Text, I, Length);
        }
        I += Length;
    }
    return Out + "\"";
}

std::string FormatInspectJson(const std::string &Path, const TPackageReport &R) {
    std::string J = "{\n" + JsonFileKeys(Path);
    J += "  \"size\": " + std::to_string(R.FileSize) + ",\n";
    J += "  \"accepted\": " + std::string(Bool(R.Fault.empty() || R.SignatureFault)) + ",\n";
    J += JsonFault(R);
    if (R.HaveTable) {
        const TLoaderOffsetTable &T = R.Table;
        J += "  \"offset_table\": {\"format_version\": " + std::to_string(T.FormatVersion) +
             ", \"min_file_size\": " + std::to_string(T.MinFileSize) +
             ", \"setup_program_offset\": " + std::to_string(T.SetupProgramOffset) +
             ", \"setup_program_size\": " + std::to_string(T.SetupProgramSize) +
             ", \"setup_program_crc\": " + std::to_string(T.SetupProgramCRC) +
             ", \"setup_data_offset\": " + std::to_string(T.SetupDataOffset) +
             ", \"second_data_offset\": " + std::to_string(T.SecondDataOffset) +
             ", \"table_checksum\": " + std::to_string(T.TableChecksum) +
             ", \"accepted\": " + Bool(R.TableAccepted) + "},\n";
    } else {
        J += "  \"offset_table\": null,\n";
    }
    J += "  \"file_map\": [";
    const std::vector<TMapEntry> Map = PackageFileMap(R);
    for (size_t I = 0; I < Map.size(); ++I)
        J += std::string(I ? ", " : "") + "{\"area\": " + JsonString(Map[I].Name) +
             ", \"offset\": " + std::to_string(Map[I].Offset) +
             ", \"size\": " + std::to_string(Map[I].Size) + "}";
    J += "],\n";
    if (R.HaveRecords) {
        J += "  \"setup\": {\"application_name\": " +
             JsonString(CodePageToDisplay(R.ApplicationName, ApplicationNameCodePage(R))) +
             ", \"detect_mode\": " + JsonString(DetectModeName(R.DetectMode)) +
             ", \"detect_mode_value\": " + std::to_string(R.DetectMode) +
             ", \"no_startup_prompt\": " + Bool(R.NoStartupPrompt) + "},\n";
    } else {
        J += "  \"setup\": null,\n";
    }
    J += "  \"languages\": [";
    for (size_t I = 0; I < R.Languages.size(); ++I) {
        const TLanguageReport &L = R.Languages[I];
        J += std::string(I ? ", " : "") + "{\"index\": " + std::to_string(I) +
             ", \"name\": " + JsonString(CodePageToDisplay(L.Name, L.CodePage)) +
             ", \"langid\": " + std::to_string(L.LanguageId) +
             ", \"codepage\": " + std::to_string(L.CodePage) +
             ", \"message_block_size\": " + std::to_string(L.MessageBlockSize) +
             ", \"message_block_valid\": " + Bool(L.MessageBlockValid) + "}";
    }
    J += "],\n";
    if (R.HaveHeaders)
        J += "  \"pe_checksum\": {\"stored\": " + std::to_string(R.Pe.StoredChecksum) +
             ", \"computed\": " + std::to_string(R.ComputedChecksum) +
             ", \"valid\": " + Bool(R.Pe.StoredChecksum == R.ComputedChecksum) + "},\n";
    else
        J += "  \"pe_checksum\": null,\n";
    J += JsonSignature(R.Signature);
    return J + JsonNotes(R) + "}\n";
}

std::string FormatInspectText(const std::string &Path, const TPackageReport &R) {
    std::string Out = "File: " + Path + Format(" (%llu bytes)\n", Ull(R.FileSize));
    if (R.HaveTable) {
        const TLoaderOffsetTable &T = R.Table;
        Out += Format("\nOffset table (%s)\n", R.TableAccepted ? "accepted" : "refused");
        Out += Format("  FormatVersion       %u\n", T.FormatVersion);
        Out += Format("  MinFileSize         %u\n", T.MinFileSize);
        Out += Format("  SetupProgramOffset  %u\n", T.SetupProgramOffset);
        Out += Format("  SetupProgramSize    %u\n", T.SetupProgramSize);
        Out += Format("  SetupProgramCRC     0x%08X\n", T.SetupProgramCRC);
        Out += Format("  SetupDataOffset     %u\n", T.SetupDataOffset);
        Out += Format("  SecondDataOffset    %u\n", T.SecondDataOffset);
        Out += Format("  TableChecksum       0x%08X\n", T.TableChecksum);
    }
    const std::vector<TMapEntry> Map = PackageFileMap(R);
    if (!Map.empty()) {
        Out += "\nFile map\n";
        for (const TMapEntry &E : Map)
            Out += Format("  %10llu .. %10llu  %-22s %llu bytes\n", Ull(E.Offset),
                          Ull(E.Offset + E.Size), E.Name.c_str(), Ull(E.Size));
    }
    if (R.HaveRecords) {
        Out += "\nSetup header\n";
        Out += "  Application name    " +
               CodePageToDisplay(R.ApplicationName, ApplicationNameCodePage(R)) + "\n";
        Out += Format("  Language detection  %s (%u)\n", DetectModeName(R.DetectMode).c_str(),
                      R.DetectMode);
        Out += Format("  Startup question    %s\n", R.NoStartupPrompt ? "not asked" : "asked");
        Out += Format("\nLanguages (%zu)\n", R.Languages.size());
        for (size_t I = 0; I < R.Languages.size(); ++I) {
            const TLanguageReport &L = R.Languages[I];
            Out +=
                Format("  %zu  %-12s LANGID 0x%04X  code page %-5u message block %llu bytes, %s\n",
                       I, CodePageToDisplay(L.Name, L.CodePage).c_str(), L.LanguageId, L.CodePage,
                       Ull(L.MessageBlockSize), L.MessageBlockValid ? "valid" : "INVALID");
        }
    }
    if (R.HaveHeaders)
        Out += Format("\nPE checksum 0x%08X (%s)\n", R.Pe.StoredChecksum,
                      R.Pe.StoredChecksum == R.ComputedChecksum ? "valid" : "does not match");
    Out += FormatSignatureText(R.Signature);
    for (const std::string &N : R.Notes)
        Out += "Note: " + N + "\n";
    if (R.Fault.empty())
        Out += "\nThe loader would accept this file (setup program not decoded; "
               "run verify for that).\n";
    else
        Out += "\nFAULT: " + R.Fault + "\n";
    return Out;
}

std::string FormatVerifyLine(const std::string &Path, const TPackageReport &R) {
    if (!R.Fault.empty())
        return Path + ": FAULT: " + R.Fault + "\n";
    if (!R.StoredFolderFault.empty())
        return Path + ": FAULT: the loader would accept it, but its setup program would fail: " +
               R.StoredFolderFault + "\n";
    return Path +
           Format(": OK: the loader would accept it (%zu language(s), setup program %u bytes",
                  R.Languages.size(), R.Table.SetupProgramSize) +
           (R.HaveStoredFolder ? Format(", stored folder of %u file(s)", R.StoredFolderFiles)
                               : std::string()) +
           "); " + SignatureSummary(R.Signature) + "\n";
}

std::string FormatVerifyJson(const std::string &Path, const TPackageReport &R) {
    std::string J = "{\n" + JsonFileKeys(Path);
    J += "  \"accepted\": " + std::string(Bool(R.Fault.empty() || R.SignatureFault)) + ",\n";
    J += JsonFault(R);
    J += JsonSignature(R.Signature);
    J += "  \"languages\": " + std::to_string(R.Languages.size()) + ",\n";
    J += "  \"setup_program_size\": " +
         (R.TableAccepted ? std::to_string(R.Table.SetupProgramSize) : std::string("null")) + ",\n";
    if (R.HaveStoredFolder)
        J += "  \"stored_folder\": {\"files\": " + std::to_string(R.StoredFolderFiles) +
             ", \"fault\": " +
             (R.StoredFolderFault.empty() ? std::string("null") : JsonString(R.StoredFolderFault)) +
             "},\n";
    return J + JsonNotes(R) + "}\n";
}
