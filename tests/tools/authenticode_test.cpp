// The code signature as quovpack reads it, on packages signed by osslsigncode with a
// throwaway certificate: the image hash agrees with osslsigncode's, and changes made after
// signing are caught or reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>

#include "test_stub.h"
#include "tools/authenticode.h"
#include "tools/package_builder.h"
#include "tools/package_reader.h"
#include "tools/sign_command.h"

namespace {

class Authenticode : public ::testing::Test {
protected:
    void SetUp() override {
        SignCommand = MakeTestSigner(Dir);
        if (SignCommand.empty())
            GTEST_SKIP() << "openssl and osslsigncode are needed to sign";
        TPackageParts Parts;
        std::vector<uint8_t> Stub = BuildTestStub();
        Parts.Stub.assign(Stub.begin(), Stub.end());
        Parts.Header.ApplicationName = "Signed";
        Parts.Header.LanguageEntryCount = 0;
        Parts.SecondData = "SECOND DATA";
        Parts.Program = RunnableProgram(std::string(20001, 'p'));
        Plain = BuildPackage(Parts);
        WriteFileBytes(Dir / "signed.exe", Plain);
        ASSERT_EQ(std::system(ExpandSignCommand(SignCommand, Dir / "signed.exe").c_str()), 0);
        Signed = ReadFileBytes(Dir / "signed.exe");
    }

    TScratchDir Dir;
    std::string SignCommand, Plain, Signed;
};

// osslsigncode's own figure for the file: the image hash it calculates, lowercase.
std::string OsslsigncodeDigest(const std::string &Path) {
    std::string Out;
    if (FILE *Pipe = ::popen(("osslsigncode verify -in '" + Path + "' 2>/dev/null").c_str(), "r")) {
        char Line[512];
        while (std::fgets(Line, sizeof(Line), Pipe))
            if (std::strncmp(Line, "Calculated message digest", 25) == 0)
                Out = std::strchr(Line, ':') + 2;
        ::pclose(Pipe);
    }
    Out.erase(std::find_if(Out.begin(), Out.end(), ::isspace), Out.end());
    std::transform(Out.begin(), Out.end(), Out.begin(), ::tolower);
    return Out;
}

TEST_F(Authenticode, SignedAndUnsignedPackages) {
    const TSignatureReport S = CheckSignature(Dir / "signed.exe");
    EXPECT_TRUE(S.Present);
    EXPECT_EQ(S.Fault, "");
    EXPECT_EQ(S.TableOffset, Plain.size()); // the packer's padding left nothing to pad
    EXPECT_EQ(S.DigestAlgorithm, "SHA256");
    EXPECT_TRUE(S.DigestMatches && S.SignatureValid);
    EXPECT_EQ(S.ComputedDigest, OsslsigncodeDigest(Dir / "signed.exe"));
    EXPECT_EQ(S.Signer, "CN = Quov Test Signer");
    EXPECT_NE(S.Certificates.find("self-signed"), std::string::npos) << S.Certificates;
    EXPECT_EQ(S.TimeStamp, "");
    EXPECT_TRUE(S.Findings.empty());
    // Neither the packer's padding nor the certificate table behind it gets a note.
    auto NotesBehind = [](const TPackageReport &R) {
        std::string Found;
        for (const std::string &Note : R.Notes)
            if (Note.find("MinFileSize") != std::string::npos || Note.find("signature") == 0)
                Found += Note + "\n";
        return Found;
    };
    EXPECT_EQ(NotesBehind(ReadPackage(Dir / "signed.exe", false)), "");

    EXPECT_EQ(Plain.size() % CertificateTableAlignment, 0u);
    EXPECT_NE(ReadPackage(Dir / "signed.exe", false).Table.MinFileSize % 8, 0u); // padded
    WriteFileBytes(Dir / "plain.exe", Plain);
    const TPackageReport Unsigned = ReadPackage(Dir / "plain.exe", false);
    EXPECT_FALSE(Unsigned.Signature.Present);
    EXPECT_EQ(Unsigned.Fault, "");
    EXPECT_EQ(NotesBehind(Unsigned), "");
    WriteFileBytes(Dir / "plain.exe", Plain + std::string(8, '\0'));
    EXPECT_NE(NotesBehind(ReadPackage(Dir / "plain.exe", false)), ""); // more than padding
}

TEST_F(Authenticode, ChangesAfterSigning) {
    const uint64_t Table = Plain.size();
    const TPeHeaders Pe = ParsePeHeaders(reinterpret_cast<const uint8_t *>(Signed.data()), 4096);
    // The last byte of the signature value, and a digit of the certificate's validity.
    const size_t LastSignatureByte = Signed.find_last_not_of('\0');
    const size_t Validity = Signed.find("\x17\x0d", Signed.find("Quov Test Signer", Table)) + 4;
    auto Hide = [&](std::string &B) { // 16 bytes more inside the table, the directory told
        B += std::string("hidden data here");
        StoreLe32(&B[Table], LoadLe32(reinterpret_cast<const uint8_t *>(&B[Table])) + 16);
        StoreLe32(&B[Pe.CertificateEntryOffset + 4], Pe.CertificateTableSize + 16);
    };
    struct {
        const char *Name;
        std::function<void(std::string &)> Change;
        const char *Fault;   // empty: the signature still holds
        const char *Finding; // empty: none
    } Cases[] = {
        {"a byte of the image", [](std::string &B) { B[0x300] ^= 1; }, "no longer matches", ""},
        {"a byte of the second data area", [](std::string &B) { B[0x402] ^= 1; },
         "no longer matches", ""},
        {"the signature value", [&](std::string &B) { B[LastSignatureByte] ^= 1; },
         "signer's signature over the image hash does not hold", ""},
        {"the certificate's validity", [&](std::string &B) { B[Validity] ^= 1; },
         "does not carry a valid signature of its issuer", ""},
        {"the entry's type", [&](std::string &B) { B[Table + 6] ^= 1; }, "not a PKCS#7", ""},
        {"bytes behind the table", [](std::string &B) { B += "appended"; }, "no longer matches",
         "not last: 8 bytes follow it"},
        {"bytes inside the table", Hide, "", "bytes inside the certificate entry behind"},
        {"the checksum", [&](std::string &B) { B[Pe.ChecksumOffset] ^= 1; }, "", ""},
    };
    for (auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        std::string Bytes = Signed;
        C.Change(Bytes);
        WriteFileBytes(Dir / "changed.exe", Bytes);
        const TSignatureReport S = CheckSignature(Dir / "changed.exe");
        if (*C.Fault)
            EXPECT_NE(S.Fault.find(C.Fault), std::string::npos) << S.Fault;
        else
            EXPECT_EQ(S.Fault, "");
        std::string Findings;
        for (const std::string &F : S.Findings)
            Findings += F + "\n";
        EXPECT_EQ(Findings.empty(), !*C.Finding) << Findings;
        EXPECT_NE(Findings.find(C.Finding), std::string::npos) << Findings;
        // The loader still takes the file, but the report says it is not what was signed.
        const TPackageReport R = ReadPackage(Dir / "changed.exe", true);
        EXPECT_EQ(R.Fault, *C.Fault ? "signature: " + S.Fault : "");
        EXPECT_EQ(R.SignatureFault, *C.Fault != 0);
    }
}

TEST(SignCommand, ExpandsTheFileQuotedForTheShell) {
    const struct {
        ESignShell Shell;
        const char *Command, *Path, *Expected; // no Expected: the path is refused
    } Cases[] = {
        {ESignShell::Posix, "sign %1", "/tmp/a b.exe", "sign '/tmp/a b.exe'"},
        {ESignShell::Posix, "sign -in %1 -out %1.s", "x", "sign -in 'x' -out 'x'.s"},
        {ESignShell::Posix, "echo %%1 100%", "x", "echo %1 100%"},
        {ESignShell::Posix, "sign %1", "it's $HOME", "sign 'it'\\''s $HOME'"},
        {ESignShell::WindowsCmd, "sign %1 & move %1.s %1", "C:\\a b&c\\x.exe",
         "sign \"C:\\a b&c\\x.exe\" & move \"C:\\a b&c\\x.exe\".s \"C:\\a b&c\\x.exe\""},
        // cmd would expand %TEMP% inside the quotes, and a quote would end them.
        {ESignShell::WindowsCmd, "sign %1", "C:\\%TEMP%\\x.exe", nullptr},
        {ESignShell::WindowsCmd, "sign %1", "C:\\a\"b.exe", nullptr},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Command + std::string(" with ") + C.Path);
        if (C.Expected)
            EXPECT_EQ(ExpandSignCommand(C.Command, C.Path, C.Shell), C.Expected);
        else
            EXPECT_THROW(ExpandSignCommand(C.Command, C.Path, C.Shell), ESignError);
    }
}

} // namespace
