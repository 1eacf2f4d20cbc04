// Any bytes as the setup data behind the signature: the header record and language entries.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "records/setup_package.h"
#include "support/exceptions.h"
#include "tests/setupdata/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
    TMemoryFile File(std::string(reinterpret_cast<const char *>(Data), Size));
    TSetupHeaderRec Header;
    std::vector<TSetupLanguageEntry> Entries;
    try {
        ReadSetupRecords(File, Header, Entries);
    } catch (const Exception &) {
    }
    return 0;
}
