// The signature report of a build without libcrypto: where the certificate table lies, and
// that nothing in it was checked.
#include "tools/authenticode.h"

#include "tools/host_files.h"
#include "tools/packlib/pe_stub.h"

TSignatureReport CheckSignature(const std::string &Path) {
    TSignatureReport Report;
    Report.Checked = false;
    THostInput In;
    TPeHeaders Headers;
    LocateCertificateTable(Path, In, Headers, Report);
    return Report;
}
