#include "support/system_function.h"

void *FindSystemExport(HMODULE Module, const char *Name) {
    return Module ? reinterpret_cast<void *>(::GetProcAddress(Module, Name)) : nullptr;
}
