#include "setupdata/offset_table.h"
#include "setupdata/setup_corrupt.h"
#include "support/win.h"

const TLoaderOffsetTable *FindOffsetTable() {
    HRSRC Resource = ::FindResourceA(/*Module=*/nullptr, MAKEINTRESOURCEA(OffsetTableResourceId),
                                     MAKEINTRESOURCEA(10) /*RT_RCDATA*/);
    if (Resource == nullptr)
        RaiseSetupCorrupt();
    if (::SizeofResource(nullptr, Resource) != OffsetTableSize)
        RaiseSetupCorrupt();
    HGLOBAL Loaded = ::LoadResource(nullptr, Resource);
    if (Loaded == nullptr)
        RaiseSetupCorrupt();
    const void *Bytes = ::LockResource(Loaded);
    if (Bytes == nullptr)
        RaiseSetupCorrupt();
    return OffsetTableAt(Bytes);
}
