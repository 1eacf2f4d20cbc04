#include "setupdata/work_area.h"

#include <cstdlib>

void *AllocateWorkArea(size_t Size) {
    return std::malloc(Size);
}

void FreeWorkArea(void *Area, size_t) {
    std::free(Area);
}
