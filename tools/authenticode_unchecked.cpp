// The signature report of a build without libcrypto: where the certificate table lies, and
// that nothing in it was checked.
#include "tools/authenticode.h"

#include <algorithm>

#include "tools/host_files.h"
#include "tools/packlib/pe_stub.h"

TSignatureReport CheckSignature(const std::string &Path) {
    TSignatureReport Report;
    Report.Checked = false;
    THostInput In = OpenHostInput(Path, "installer", ~uint64_t(0));
    std::string Head(static_cast<size_t>(std::min<uint64_t>(In.Size, 65536)), '\0');
    Head.resize(ReadHostInputHead(In, &Head[0], Head.size()));
    TPeHeaders Headers;
    try {
        Headers = ParsePeHeaders(reinterpret_cast<const uint8_t *>(Head.data()), Head.size());
    } catch (const EStubError &) {
        return Report; // not an image that this reader knows: nothing signed
    }
    Report.TableOffset = Headers.CertificateTableOffset;
    Report.TableSize = Headers.CertificateTableSize;
    Report.Present = Report.TableOffset != 0 || Report.TableSize != 0;
    return Report;
}
