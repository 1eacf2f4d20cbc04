// Large read/write memory areas that may fail without ending the process (the LZMA work area).
// Support helpers: they never throw.
#pragma once

#include <cstddef>

// Returns Size bytes of read/write memory, or null when the system has none to give.
void *AllocateWorkArea(size_t Size);
// Releases an area from AllocateWorkArea; null is ignored.
void FreeWorkArea(void *Area, size_t Size);
