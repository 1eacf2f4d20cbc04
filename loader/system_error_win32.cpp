#include "loader/system_error.h"

#include "records/messages.h"
#include "support/exceptions.h"
#include "support/win.h"

void RaiseWin32Error(uint8_t MessageNumber) {
    const DWORD Code = ::GetLastError();
    throw Exception(FormatSystemErrorMessage(LoaderMessages[MessageNumber], Code));
}
