// Any bytes as a message block; whatever loads is then formatted as a pattern.
#include <cstddef>
#include <cstdint>
#include <string>

#include "records/messages.h"
#include "support/exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
    try {
        LoadMessageBlock(Data, Size);
    } catch (const Exception &) {
    }
    const std::string Args[] = {"a", "%1", ""};
    for (int N = 0; N < LoaderMessageCount; ++N)
        FormatLoaderMessage(static_cast<uint8_t>(N), Args, 3);
    ClearLoaderMessages();
    return 0;
}
