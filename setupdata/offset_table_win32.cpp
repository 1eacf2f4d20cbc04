#include "setupdata/offset_table.h"
#include "support/win.h"

const TLoaderOffsetTable *FindOffsetTable() {
    HRSRC Resource = ::FindResourceA(/*Module=*/nullptr, MAKEINTRESOURCEA(OffsetTableResourceId),
                                     MAKEINTRESOURCEA(10) /*RT_RCDATA*/);
    if (Resource == nullptr || ::SizeofResource(nullptr, Resource) != OffsetTableSize)
        return nullptr;
    HGLOBAL Loaded = ::LoadResource(nullptr, Resource);
    if (Loaded == nullptr)
        return nullptr;
    const void *Bytes = ::LockResource(Loaded);
    return Bytes ? OffsetTableAt(Bytes) : nullptr;
}
