#include "support/error_text.h"
#include "support/win.h"

std::string SystemErrorText(uint32_t Code) {
    char Buffer[1024];
    DWORD Count = ::FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
        /*Source=*/nullptr, Code, /*LanguageId=*/0, Buffer, sizeof(Buffer), /*Arguments=*/nullptr);
    if (Count > sizeof(Buffer))
        Count = 0;
    return std::string(Buffer, TrimSystemMessageLength(Buffer, Count));
}
