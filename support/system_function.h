// Functions that only newer systems export, looked up at run time: the loader is linked for the
// oldest system it starts on. Borrows the module it is given. A support helper: never throws.
#pragma once

#include "support/win.h"

// The address of the export Name of Module; null when Module is null or does not export it.
void *FindSystemExport(HMODULE Module, const char *Name);

// The same as a function of type TFunction (a pointer type with the export's signature).
template <typename TFunction> TFunction FindSystemFunction(HMODULE Module, const char *Name) {
    return reinterpret_cast<TFunction>(FindSystemExport(Module, Name));
}
