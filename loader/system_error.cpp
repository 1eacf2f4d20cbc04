#include "loader/system_error.h"

#include "records/messages.h"
#include "support/error_text.h"
#include "support/exceptions.h"

std::string FormatSystemErrorMessage(const std::string &Operation, uint32_t Code) {
    const std::string Args[3] = {Operation, FormatWithNumber("%d", static_cast<int32_t>(Code)),
                                 SystemErrorText(Code)};
    return FormatLoaderMessage(MsgSystemErrorFormat, Args, 3);
}
