#include "tools/authenticode.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include "support/byte_order.h"
#include "tools/host_files.h"
#include "tools/packlib/pe_stub.h"

namespace {

// The content type of the indirect data that an image's signature signs, and the unsigned
// attributes that carry a time stamp (RFC 3161 token) or another signature.
const char IndirectDataOid[] = "1.3.6.1.4.1.311.2.1.4";
const char Rfc3161TimeStampOid[] = "1.3.6.1.4.1.311.3.3.1";
const char NestedSignatureOid[] = "1.3.6.1.4.1.311.2.4.1";

// A certificate table is a few KiB; a larger one is refused unread.
constexpr uint64_t MaxCertificateTableSize = 16ull << 20;

// One owner per kind of OpenSSL object.
template <class T, void (*Free)(T *)> struct TOpenSslFree {
    void operator()(T *Object) const { Free(Object); }
};
template <class T, void (*Free)(T *)> using TOwned = std::unique_ptr<T, TOpenSslFree<T, Free>>;
using TPkcs7 = TOwned<PKCS7, PKCS7_free>;
using TSignerInfo = TOwned<PKCS7_SIGNER_INFO, PKCS7_SIGNER_INFO_free>;
using TDigestInfo = TOwned<X509_SIG, X509_SIG_free>;
using TDigestContext = TOwned<EVP_MD_CTX, EVP_MD_CTX_free>;
using TObject = TOwned<ASN1_OBJECT, ASN1_OBJECT_free>;
using TTstInfo = TOwned<TS_TST_INFO, TS_TST_INFO_free>;
void FreeBio(BIO *Bio) {
    BIO_free(Bio);
}
using TBio = TOwned<BIO, FreeBio>;
void FreeTypes(ASN1_SEQUENCE_ANY *Types) {
    sk_ASN1_TYPE_pop_free(Types, ASN1_TYPE_free);
}
using TTypes = TOwned<ASN1_SEQUENCE_ANY, FreeTypes>;
void FreeCertificateStack(STACK_OF(X509) * Stack) {
    sk_X509_free(Stack);
} // borrowed certificates
using TCertificates = TOwned<STACK_OF(X509), FreeCertificateStack>;

class ESignatureFault {
public:
    explicit ESignatureFault(std::string Text) : Message(std::move(Text)) {}
    std::string Message;
};

[[noreturn]] void Fault(const std::string &Text) {
    throw ESignatureFault(Text);
}

// libcrypto's reason for the last failure, or the fallback.
std::string OpenSslReason(const char *Fallback) {
    unsigned long Code = ERR_peek_last_error();
    ERR_clear_error();
    if (Code == 0)
        return Fallback;
    const char *Reason = ERR_reason_error_string(Code);
    return Reason ? Reason : Fallback;
}

std::string Hex(const unsigned char *Bytes, size_t Count) {
    static const char Digits[] = "0123456789abcdef";
    std::string Text;
    for (size_t I = 0; I < Count; ++I) {
        Text += Digits[Bytes[I] >> 4];
        Text += Digits[Bytes[I] & 15];
    }
    return Text;
}

std::string BioText(BIO *Bio) {
    char *Data = nullptr;
    long Length = BIO_get_mem_data(Bio, &Data);
    return Length > 0 ? std::string(Data, static_cast<size_t>(Length)) : std::string();
}

std::string NameLine(const X509_NAME *Name) {
    TBio Bio(BIO_new(BIO_s_mem()));
    if (!Bio || X509_NAME_print_ex(Bio.get(), Name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB) < 0)
        return std::string();
    return BioText(Bio.get());
}

std::string TimeText(const ASN1_TIME *Time) {
    TBio Bio(BIO_new(BIO_s_mem()));
    if (!Bio || !ASN1_TIME_print(Bio.get(), Time))
        return std::string();
    return BioText(Bio.get());
}

// The image hash: the whole file but for the excluded ranges (sorted, not overlapping).
std::string ImageHash(THostInput &In, const EVP_MD *Digest,
                      const std::vector<std::pair<uint64_t, uint64_t>> &Excluded) {
    TDigestContext Context(EVP_MD_CTX_new());
    if (!Context || !EVP_DigestInit_ex(Context.get(), Digest, nullptr))
        Fault("the digest cannot be computed: " + OpenSslReason("no digest context"));
    std::string Buffer(1u << 20, '\0');
    uint64_t At = 0;
    auto HashUpTo = [&](uint64_t End) {
        while (At < End) {
            const size_t Count = static_cast<size_t>(std::min<uint64_t>(End - At, Buffer.size()));
            ReadHostInputAt(In, At, &Buffer[0], Count);
            EVP_DigestUpdate(Context.get(), Buffer.data(), Count);
            At += Count;
        }
    };
    for (const auto &Range : Excluded) {
        HashUpTo(Range.first);
        At = std::max(At, Range.first + Range.second);
    }
    HashUpTo(In.Size);
    unsigned char Value[EVP_MAX_MD_SIZE];
    unsigned int Length = 0;
    EVP_DigestFinal_ex(Context.get(), Value, &Length);
    return Hex(Value, Length);
}

// The time of an unsigned time-stamp attribute, or empty when Attribute is none.
std::string TimeStampOf(X509_ATTRIBUTE *Attribute) {
    const ASN1_OBJECT *Type = X509_ATTRIBUTE_get0_object(Attribute);
    ASN1_TYPE *Value = X509_ATTRIBUTE_get0_type(Attribute, 0);
    if (!Value || Value->type != V_ASN1_SEQUENCE)
        return std::string();
    const unsigned char *P = Value->value.sequence->data;
    const long Length = Value->value.sequence->length;
    if (OBJ_obj2nid(Type) == NID_pkcs9_countersignature) {
        TSignerInfo Counter(d2i_PKCS7_SIGNER_INFO(nullptr, &P, Length));
        ASN1_TYPE *Time =
            Counter ? PKCS7_get_signed_attribute(Counter.get(), NID_pkcs9_signingTime) : nullptr;
        return Time && Time->type == V_ASN1_UTCTIME
                   ? TimeText(Time->value.utctime) + " (counter-signature, not checked)"
                   : std::string();
    }
    TPkcs7 Token(d2i_PKCS7(nullptr, &P, Length));
    TTstInfo Info(Token ? PKCS7_to_TS_TST_INFO(Token.get()) : nullptr);
    return Info ? TimeText(TS_TST_INFO_get_time(Info.get())) + " (RFC 3161 token, not checked)"
                : std::string();
}

// Time stamps and whatever else rides unsigned beside the signer's signature.
void ReadUnsignedAttributes(PKCS7_SIGNER_INFO *Signer, TSignatureReport &Report) {
    TObject Rfc3161(OBJ_txt2obj(Rfc3161TimeStampOid, 1));
    TObject Nested(OBJ_txt2obj(NestedSignatureOid, 1));
    for (int I = 0; I < sk_X509_ATTRIBUTE_num(Signer->unauth_attr); ++I) {
        X509_ATTRIBUTE *Attribute = sk_X509_ATTRIBUTE_value(Signer->unauth_attr, I);
        const ASN1_OBJECT *Type = X509_ATTRIBUTE_get0_object(Attribute);
        if (OBJ_obj2nid(Type) == NID_pkcs9_countersignature || !OBJ_cmp(Type, Rfc3161.get())) {
            std::string Time = TimeStampOf(Attribute);
            if (Report.TimeStamp.empty())
                Report.TimeStamp = Time.empty() ? "present, unreadable" : Time;
            continue;
        }
        char Name[80];
        OBJ_obj2txt(Name, sizeof(Name), Type, 1);
        Report.Findings.push_back(
            !OBJ_cmp(Type, Nested.get())
                ? "a second, nested signature rides unsigned beside the "
                  "first; only the first is checked"
                : std::string("an unsigned attribute ") + Name +
                      " inside the signature: bytes that no signature covers");
    }
}

// The signed content: the indirect data's DigestInfo (algorithm and image hash), and the
// content's bytes behind its own tag and length, over which the signer's digest is taken.
struct TSignedContent {
    TDigestInfo DigestInfo;
    const unsigned char *Bytes = nullptr;
    long Length = 0;
};

TSignedContent ReadSignedContent(PKCS7 *Signed) {
    PKCS7 *Content = Signed->d.sign->contents;
    TObject Indirect(OBJ_txt2obj(IndirectDataOid, 1));
    if (!Content || OBJ_cmp(Content->type, Indirect.get()) || !Content->d.other ||
        Content->d.other->type != V_ASN1_SEQUENCE)
        Fault("the signature signs no image hash (its content is not indirect data)");
    const ASN1_STRING *Der = Content->d.other->value.sequence;
    const unsigned char *P = Der->data;
    TTypes Parts(d2i_ASN1_SEQUENCE_ANY(nullptr, &P, Der->length));
    if (!Parts || sk_ASN1_TYPE_num(Parts.get()) < 2 ||
        sk_ASN1_TYPE_value(Parts.get(), 1)->type != V_ASN1_SEQUENCE)
        Fault("the signed indirect data is damaged: " + OpenSslReason("no DigestInfo"));
    const ASN1_STRING *Info = sk_ASN1_TYPE_value(Parts.get(), 1)->value.sequence;
    P = Info->data;
    TSignedContent Result;
    Result.DigestInfo.reset(d2i_X509_SIG(nullptr, &P, Info->length));
    if (!Result.DigestInfo)
        Fault("the signed DigestInfo is damaged: " + OpenSslReason("no DigestInfo"));
    P = Der->data;
    int Tag = 0, Class = 0;
    if (ASN1_get_object(&P, &Result.Length, &Tag, &Class, Der->length) & 0x80)
        Fault("the signed indirect data is damaged: " + OpenSslReason("bad length"));
    Result.Bytes = P;
    return Result;
}

// The signer's certificate and those above it, as far as the signature carries their issuers:
// each must be signed by its issuer's key (a self-signed one by its own), so that the names
// reported are the ones that were certified. Whether the top is trusted is the system's call.
std::string CheckCertificates(X509 *Certificate, STACK_OF(X509) * Bag) {
    for (int Step = 0; Step <= sk_X509_num(Bag); ++Step) {
        X509 *Issuer = nullptr;
        for (int I = 0; I < sk_X509_num(Bag) && !Issuer; ++I)
            if (X509_check_issued(sk_X509_value(Bag, I), Certificate) == X509_V_OK)
                Issuer = sk_X509_value(Bag, I);
        if (!Issuer)
            return Step == 0 ? "the issuer's certificate is not in the signature: the signer's "
                               "certificate is not checked"
                             : "checked up to " + NameLine(X509_get_subject_name(Certificate)) +
                                   ", whose issuer's certificate is not in the signature";
        EVP_PKEY *Key = X509_get0_pubkey(Issuer);
        if (!Key || X509_verify(Certificate, Key) != 1)
            Fault("the certificate of " + NameLine(X509_get_subject_name(Certificate)) +
                  " does not carry a valid signature of its issuer (altered or damaged): " +
                  OpenSslReason("bad certificate signature"));
        if (Issuer == Certificate)
            return "each signed by its issuer's key, up to the self-signed " +
                   NameLine(X509_get_subject_name(Certificate));
        Certificate = Issuer;
    }
    return "the certificates in the signature issue one another in a loop";
}

// Reads the table's first entry and everything the signature says; Report gets the findings.
void CheckTable(THostInput &In, const TPeHeaders &Headers, TSignatureReport &Report) {
    const uint64_t TableEnd = Report.TableOffset + Report.TableSize;
    if (TableEnd > In.Size || Report.TableSize < CertificateEntryHeaderSize)
        Fault("the certificate table (offset " + std::to_string(Report.TableOffset) + ", " +
              std::to_string(Report.TableSize) + " bytes) does not lie inside the file of " +
              std::to_string(In.Size) + " bytes");
    if (Report.TableSize > MaxCertificateTableSize)
        Fault("the certificate table has " + std::to_string(Report.TableSize) +
              " bytes; signatures are far smaller");
    if (Report.TableOffset < Headers.ImageEnd)
        Report.Findings.push_back("the certificate table begins inside the image, at offset " +
                                  std::to_string(Report.TableOffset));
    if (Report.TableOffset % CertificateTableAlignment != 0)
        Report.Findings.push_back("the certificate table does not begin on an 8-byte boundary");
    if (TableEnd < In.Size)
        Report.Findings.push_back(
            "the certificate table is not last: " + std::to_string(In.Size - TableEnd) +
            " bytes follow it (the image hash covers them; they change it)");

    std::string Table(static_cast<size_t>(Report.TableSize), '\0');
    ReadHostInputAt(In, Report.TableOffset, &Table[0], Table.size());
    const uint8_t *Entry = reinterpret_cast<const uint8_t *>(Table.data());
    const uint32_t Length = LoadLe32(Entry);
    if (Length < CertificateEntryHeaderSize || Length > Table.size())
        Fault("the certificate table's first entry claims " + std::to_string(Length) +
              " bytes in a table of " + std::to_string(Table.size()));
    if (LoadLe16(Entry + 4) != CertificateRevision ||
        LoadLe16(Entry + 6) != CertificateTypePkcsSignedData)
        Fault("the certificate table's first entry is not a PKCS#7 signature (revision 0x" +
              Hex(Entry + 5, 1) + Hex(Entry + 4, 1) + ", type 0x" + Hex(Entry + 7, 1) +
              Hex(Entry + 6, 1) + ")");
    const unsigned char *Der = Entry + CertificateEntryHeaderSize;
    const unsigned char *P = Der;
    TPkcs7 Signed(d2i_PKCS7(nullptr, &P, Length - CertificateEntryHeaderSize));
    if (!Signed || !PKCS7_type_is_signed(Signed.get()))
        Fault("the signature does not decode as PKCS#7 SignedData: " +
              OpenSslReason("not SignedData"));

    // What the entry and the table hold beyond the signature's own DER bytes.
    const uint64_t DerEnd = CertificateEntryHeaderSize + static_cast<uint64_t>(P - Der);
    const uint64_t EntryEnd = Length + CertificateAlignmentPadding(Length);
    const bool PaddingIsZero = std::all_of(
        Table.begin() + DerEnd, Table.begin() + std::min<uint64_t>(EntryEnd, Table.size()),
        [](char C) { return C == 0; });
    if (EntryEnd - DerEnd >= CertificateTableAlignment || !PaddingIsZero)
        Report.Findings.push_back(
            std::to_string(std::min<uint64_t>(EntryEnd, Table.size()) - DerEnd) +
            " bytes inside the certificate entry behind the signature" +
            (PaddingIsZero ? "" : ", not all zero") + ": data that no signature covers");
    if (EntryEnd < Table.size())
        Report.Findings.push_back(std::to_string(Table.size() - EntryEnd) +
                                  " bytes in the certificate table behind its first entry "
                                  "(another entry, or hidden data); only the first is checked");

    TSignedContent Content = ReadSignedContent(Signed.get());
    const X509_ALGOR *Algorithm = nullptr;
    const ASN1_OCTET_STRING *Digest = nullptr;
    X509_SIG_get0(Content.DigestInfo.get(), &Algorithm, &Digest);
    const ASN1_OBJECT *AlgorithmObject = nullptr;
    X509_ALGOR_get0(&AlgorithmObject, nullptr, nullptr, Algorithm);
    const char *AlgorithmName = OBJ_nid2sn(OBJ_obj2nid(AlgorithmObject));
    Report.DigestAlgorithm =
        AlgorithmName && OBJ_obj2nid(AlgorithmObject) != NID_undef ? AlgorithmName : "unknown";
    Report.SignedDigest = Hex(ASN1_STRING_get0_data(Digest), ASN1_STRING_length(Digest));

    STACK_OF(PKCS7_SIGNER_INFO) *Signers = PKCS7_get_signer_info(Signed.get());
    if (sk_PKCS7_SIGNER_INFO_num(Signers) < 1)
        Fault("the signature has no signer");
    TCertificates Certificates(PKCS7_get0_signers(Signed.get(), nullptr, 0));
    ERR_clear_error();
    if (Certificates && sk_X509_num(Certificates.get()) > 0) {
        X509 *Certificate = sk_X509_value(Certificates.get(), 0);
        Report.Signer = NameLine(X509_get_subject_name(Certificate));
        Report.Issuer = NameLine(X509_get_issuer_name(Certificate));
        Report.Certificates = CheckCertificates(Certificate, Signed->d.sign->cert);
    } else {
        Fault("the signature does not carry the signer's certificate");
    }
    ReadUnsignedAttributes(sk_PKCS7_SIGNER_INFO_value(Signers, 0), Report);

    const EVP_MD *Md = EVP_get_digestbyobj(AlgorithmObject);
    if (!Md)
        Fault("the image hash is signed with an unknown digest algorithm");
    std::vector<std::pair<uint64_t, uint64_t>> Excluded = {{Headers.ChecksumOffset, 4},
                                                           {Headers.CertificateEntryOffset, 8},
                                                           {Report.TableOffset, Report.TableSize}};
    std::sort(Excluded.begin(), Excluded.end());
    Report.ComputedDigest = ImageHash(In, Md, Excluded);
    Report.DigestMatches = Report.ComputedDigest == Report.SignedDigest;

    // The signer's digest covers the content's bytes behind their tag and length. The chain of
    // certificates is not judged here: that needs the trust of the system that runs the file.
    TBio Data(BIO_new_mem_buf(Content.Bytes, static_cast<int>(Content.Length)));
    Report.SignatureValid = Data && PKCS7_verify(Signed.get(), nullptr, nullptr, Data.get(),
                                                 nullptr, PKCS7_NOVERIFY | PKCS7_BINARY) == 1;
    const std::string VerifyReason = OpenSslReason("the signature does not verify");
    if (!Report.DigestMatches)
        Fault("the file no longer matches its signature: its " + Report.DigestAlgorithm +
              " image hash is " + Report.ComputedDigest + ", the signed one " +
              Report.SignedDigest);
    if (!Report.SignatureValid)
        Fault("the signer's signature over the image hash does not hold (" + VerifyReason + ")");
}

} // namespace

TSignatureReport CheckSignature(const std::string &Path) {
    TSignatureReport Report;
    THostInput In;
    TPeHeaders Headers;
    if (!LocateCertificateTable(Path, In, Headers, Report) || !Report.Present)
        return Report;
    ERR_clear_error();
    try {
        CheckTable(In, Headers, Report);
    } catch (const ESignatureFault &E) {
        Report.Fault = E.Message;
    }
    return Report;
}
