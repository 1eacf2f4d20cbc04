#include "loader/residency.h"

#include <cstdint>

#include "support/win.h"

namespace {

static_assert(sizeof(MEMORY_BASIC_INFORMATION) == (sizeof(void *) == 4 ? 28 : 48),
              "region description as VirtualQuery fills it");

bool NeedsWritableProtection(DWORD Protect) {
    return Protect == PAGE_NOACCESS || Protect == PAGE_READONLY || Protect == PAGE_EXECUTE ||
           Protect == PAGE_EXECUTE_READ;
}

// A locked read-modify-write that stores what it read: the page becomes the process's own
// without its contents changing.
void TouchWord(void *Address) {
    __atomic_fetch_or(static_cast<volatile uint32_t *>(Address), 0u, __ATOMIC_SEQ_CST);
}

} // namespace

void TouchImagePages(void *ImageBase) {
    SYSTEM_INFO Info;
    ::GetSystemInfo(&Info);
    const uintptr_t PageSize = Info.dwPageSize;

    MEMORY_BASIC_INFORMATION Region;
    uint8_t *Address = static_cast<uint8_t *>(ImageBase);
    while (::VirtualQuery(Address, &Region, sizeof(Region)) == sizeof(Region) &&
           Region.AllocationBase == ImageBase) {
        if (Region.State == MEM_COMMIT && (Region.Protect & PAGE_GUARD) == 0) {
            DWORD OldProtect = 0;
            bool Changed = false;
            bool Writable = true;
            if (NeedsWritableProtection(Region.Protect)) {
                Changed = ::VirtualProtect(Region.BaseAddress, Region.RegionSize,
                                           PAGE_EXECUTE_READWRITE, &OldProtect) != 0;
                // Writing to a page that stayed read-only or inaccessible would fault: such a
                // region is left as it is.
                Writable = Changed;
            }
            if (Writable) {
                uint8_t *Base = static_cast<uint8_t *>(Region.BaseAddress);
                for (uintptr_t Offset = 0; Offset < Region.RegionSize; Offset += PageSize)
                    TouchWord(Base + Offset);
            }
            if (Changed) {
                DWORD Ignored;
                ::VirtualProtect(Region.BaseAddress, Region.RegionSize, OldProtect, &Ignored);
            }
        }
        Address = static_cast<uint8_t *>(Region.BaseAddress) + Region.RegionSize;
    }
}
