#include "loader/residency.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/win.h"

namespace {

struct TRegionState {
    void *Base;
    SIZE_T Size;
    DWORD State;
    DWORD Protect;
};

std::vector<TRegionState> Regions(void *AllocationBase) {
    std::vector<TRegionState> Result;
    MEMORY_BASIC_INFORMATION Info;
    uint8_t *Address = static_cast<uint8_t *>(AllocationBase);
    while (::VirtualQuery(Address, &Info, sizeof(Info)) == sizeof(Info) &&
           Info.AllocationBase == AllocationBase) {
        Result.push_back({Info.BaseAddress, Info.RegionSize, Info.State, Info.Protect});
        Address = static_cast<uint8_t *>(Info.BaseAddress) + Info.RegionSize;
    }
    return Result;
}

bool SameRegions(const std::vector<TRegionState> &A, const std::vector<TRegionState> &B) {
    if (A.size() != B.size())
        return false;
    for (size_t I = 0; I < A.size(); ++I)
        if (A[I].Base != B[I].Base || A[I].Size != B[I].Size || A[I].State != B[I].State ||
            A[I].Protect != B[I].Protect)
            return false;
    return true;
}

} // namespace

TEST(Residency, OwnImageKeepsProtectionAndContents) {
    void *Image = ::GetModuleHandleA(nullptr);
    const std::vector<TRegionState> Before = Regions(Image);
    ASSERT_GT(Before.size(), 1u);
    // The code section: executable and read-only, so the walk must lift and restore it.
    const auto *Header = static_cast<const uint8_t *>(Image);
    const std::vector<uint8_t> HeaderBytes(Header, Header + 512);
    TouchImagePages(Image);
    EXPECT_TRUE(SameRegions(Before, Regions(Image)));
    EXPECT_EQ(std::memcmp(HeaderBytes.data(), Header, HeaderBytes.size()), 0);
}

TEST(Residency, EveryKindOfRegionSurvivesTheWalk) {
    SYSTEM_INFO System;
    ::GetSystemInfo(&System);
    const SIZE_T Page = System.dwPageSize;
    // 0: left reserved, not committed.
    const DWORD Kinds[] = {PAGE_READWRITE,    PAGE_READONLY, PAGE_NOACCESS,
                           PAGE_EXECUTE_READ, PAGE_READWRITE | PAGE_GUARD, 0,
                           PAGE_EXECUTE_READWRITE, PAGE_EXECUTE};
    const SIZE_T Count = sizeof(Kinds) / sizeof(Kinds[0]);
    // One allocation, its pages committed one kind at a time, two pages per kind.
    uint8_t *Base = static_cast<uint8_t *>(
        ::VirtualAlloc(nullptr, Count * 2 * Page, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(Base, nullptr);
    for (SIZE_T I = 0; I < Count; ++I) {
        if (Kinds[I] == 0)
            continue;
        uint8_t *Pages = Base + I * 2 * Page;
        ASSERT_NE(::VirtualAlloc(Pages, 2 * Page, MEM_COMMIT, PAGE_READWRITE), nullptr);
        for (SIZE_T B = 0; B < 2 * Page; ++B)
            Pages[B] = static_cast<uint8_t>(I * 31 + B);
        DWORD Old;
        ASSERT_TRUE(::VirtualProtect(Pages, 2 * Page, Kinds[I], &Old)) << I;
    }
    const std::vector<TRegionState> Before = Regions(Base);
    ASSERT_EQ(Before.size(), Count);

    TouchImagePages(Base);

    // A guard page that had been touched would have lost PAGE_GUARD; a reserved page touched
    // would have faulted.
    EXPECT_TRUE(SameRegions(Before, Regions(Base)));
    for (SIZE_T I = 0; I < Count; ++I) {
        if (Kinds[I] == 0)
            continue;
        SCOPED_TRACE(I);
        uint8_t *Pages = Base + I * 2 * Page;
        DWORD Old;
        ASSERT_TRUE(::VirtualProtect(Pages, 2 * Page, PAGE_READWRITE, &Old));
        bool Same = true;
        for (SIZE_T B = 0; B < 2 * Page; ++B)
            Same = Same && Pages[B] == static_cast<uint8_t>(I * 31 + B);
        EXPECT_TRUE(Same);
    }
    ::VirtualFree(Base, 0, MEM_RELEASE);
}

TEST(Residency, RegionThatCannotBeMadeWritableIsSkipped) {
    // A read-only view of a file opened for reading: its protection cannot be raised to
    // writable, and a write into it would fault.
    char Path[MAX_PATH];
    ASSERT_NE(::GetTempFileNameA(".", "lr", 0, Path), 0u);
    HANDLE File = ::CreateFileA(Path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(File, INVALID_HANDLE_VALUE);
    const std::vector<char> Bytes(8192, 'q');
    DWORD Written;
    ::WriteFile(File, Bytes.data(), static_cast<DWORD>(Bytes.size()), &Written, nullptr);
    ::CloseHandle(File);
    File = ::CreateFileA(Path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE Mapping = ::CreateFileMappingA(File, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(Mapping, nullptr);
    void *View = ::MapViewOfFile(Mapping, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(View, nullptr);
    DWORD Old;
    if (::VirtualProtect(View, 8192, PAGE_EXECUTE_READWRITE, &Old)) {
        ::UnmapViewOfFile(View);
        ::CloseHandle(Mapping);
        ::CloseHandle(File);
        ::DeleteFileA(Path);
        GTEST_SKIP() << "this system lets a read-only view become writable";
    }
    const std::vector<TRegionState> Before = Regions(View);
    TouchImagePages(View); // must not fault
    EXPECT_TRUE(SameRegions(Before, Regions(View)));
    EXPECT_EQ(std::memcmp(View, Bytes.data(), Bytes.size()), 0);
    ::UnmapViewOfFile(View);
    ::CloseHandle(Mapping);
    ::CloseHandle(File);
    ::DeleteFileA(Path);
}
