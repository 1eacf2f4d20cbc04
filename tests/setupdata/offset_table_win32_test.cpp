#include "setupdata/offset_table.h"

#include <gtest/gtest.h>

#include <cstring>

#include "setupdata/crc32.h"

TEST(OffsetTableWin32, FoundInOwnResourcesInPlace) {
    const TLoaderOffsetTable *Table = FindOffsetTable();
    ASSERT_NE(Table, nullptr);
    EXPECT_EQ(std::memcmp(Table->Signature, OffsetTableSignature, 12), 0);
    EXPECT_EQ(Table->FormatVersion, 1u);
    EXPECT_EQ(Table->MinFileSize, 0x1234u);
    EXPECT_EQ(Table->SetupProgramOffset, 0x100u);
    EXPECT_EQ(Table->SecondDataOffset, 0x500u);
    // The resource is used where it lies: a second lookup gives the same address.
    EXPECT_EQ(FindOffsetTable(), Table);
}
