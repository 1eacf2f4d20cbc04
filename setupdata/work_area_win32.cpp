#include "setupdata/work_area.h"

#include "support/win.h"

void *AllocateWorkArea(size_t Size) {
    return ::VirtualAlloc(nullptr, Size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void FreeWorkArea(void *Area, size_t) {
    if (Area)
        ::VirtualFree(Area, 0, MEM_RELEASE);
}
