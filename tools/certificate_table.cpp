#include "tools/authenticode.h"

#include <algorithm>

#include "tools/host_files.h"
#include "tools/packlib/pe_stub.h"

bool LocateCertificateTable(const std::string &Path, THostInput &In, TPeHeaders &Headers,
                            TSignatureReport &Report) {
    In = OpenHostInput(Path, "installer", ~uint64_t(0));
    std::string Head(static_cast<size_t>(std::min<uint64_t>(In.Size, 65536)), '\0');
    Head.resize(ReadHostInputHead(In, &Head[0], Head.size()));
    try {
        Headers = ParsePeHeaders(reinterpret_cast<const uint8_t *>(Head.data()), Head.size());
    } catch (const EStubError &) {
        return false;
    }
    Report.TableOffset = Headers.CertificateTableOffset;
    Report.TableSize = Headers.CertificateTableSize;
    Report.Present = Report.TableOffset != 0 || Report.TableSize != 0;
    return true;
}
