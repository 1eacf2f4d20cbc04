// Reads the code signature of a PE file and checks it: the image hash recomputed over the file
// against the one that was signed, the signer's signature over it, signer, issuer and time
// stamp, and what a reviewer looks for around the certificate table. The certificate and
// PKCS#7 structures are decoded by OpenSSL's libcrypto (authenticode.cpp); owns its OpenSSL
// objects for one call. A build without libcrypto (Windows) reports only where the table lies
// (authenticode_unchecked.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The certificate table (data directory 4 gives its file offset and size; it is not mapped):
// a sequence of entries, each starting on an 8-byte boundary of the file:
//   +0 dwLength (u32): the entry's size, these 8 header bytes included
//   +4 wRevision (u16): 0x0200
//   +6 wCertificateType (u16): 2, PKCS#7 SignedData
//   +8 the DER encoding of the SignedData, then zero bytes up to the next 8-byte boundary
// The SignedData's content is the indirect data: SEQUENCE { SEQUENCE { type OID, value },
// DigestInfo SEQUENCE { AlgorithmIdentifier, OCTET STRING image hash } }. The image hash covers
// the whole file except the CheckSum field, the certificate table's directory entry and the
// table itself.
constexpr uint32_t CertificateTableAlignment = 8;
constexpr uint32_t CertificateEntryHeaderSize = 8;
constexpr uint16_t CertificateRevision = 0x0200;
constexpr uint16_t CertificateTypePkcsSignedData = 0x0002;

// Zero bytes that bring a file of Size bytes to the table's alignment: a signer then appends
// its table without padding the file first.
inline uint64_t CertificateAlignmentPadding(uint64_t Size) {
    return (CertificateTableAlignment - Size % CertificateTableAlignment) %
           CertificateTableAlignment;
}

// What verify and inspect say of a signature that a build without a signature checker found.
const std::string UncheckedSignatureText =
    "NOT CHECKED: this build of quovpack cannot check signatures (the Linux build does)";

struct TSignatureReport {
    bool Present = false;     // the certificate table's directory entry is not empty
    // False in a build without a signature checker (the Windows build): only Present and the
    // table's place are known then, and no Fault is ever found.
    bool Checked = true;
    uint64_t TableOffset = 0; // as the directory entry gives them
    uint64_t TableSize = 0;
    std::string DigestAlgorithm; // "SHA256", as the signature names it
    std::string SignedDigest;    // hexadecimal
    std::string ComputedDigest;  // hexadecimal, the image hash of the file as it is
    bool DigestMatches = false;
    bool SignatureValid = false; // the signer's signature over the signed content holds
    std::string Signer, Issuer;  // the signing certificate's subject and issuer, one line each
    // How far the certificates from the signer's up were checked, one sentence; whether the
    // top one is trusted is for the system that runs the file.
    std::string Certificates;
    std::string TimeStamp; // empty when there is none
    // Why the signature does not hold for this file; empty when it does (or there is none).
    std::string Fault;
    // For a reviewer: bytes behind or inside the table that no signature covers, a table that
    // is not last, more than one entry; each a sentence.
    std::vector<std::string> Findings;
};

// Reads and checks the signature of the file at Path. A file that is not a PE32 image, or one
// without a certificate table, is reported as not signed. Throws EInputError when the file
// cannot be read.
TSignatureReport CheckSignature(const std::string &Path);

// The part both builds share (certificate_table.cpp): opens the file at Path into In, reads its
// PE headers into Headers and puts the certificate table's place and Present into Report.
// False when the file is not an image this reader knows: nothing is signed then.
struct THostInput;
struct TPeHeaders;
bool LocateCertificateTable(const std::string &Path, THostInput &In, TPeHeaders &Headers,
                            TSignatureReport &Report);
