#include "tools/packlib/pe_stub.h"

#include <gtest/gtest.h>

#include "setupdata/crc32.h"
#include "test_stub.h"

namespace {

const uint8_t *Bytes(const std::vector<uint8_t> &V) { return V.data(); }

std::vector<uint8_t> WithMachine(std::vector<uint8_t> Image, uint16_t Machine) {
    StoreLe16(&Image[0x44], Machine);
    return Image;
}
std::vector<uint8_t> WithMagic(std::vector<uint8_t> Image, uint16_t Magic) {
    StoreLe16(&Image[0x58], Magic);
    return Image;
}

// The 32-bit loader, and its x86-64 build (PE32+: its data directories lie further on).
TEST(PeStub, FindsTheSlotOfAGeneratedStub) {
    for (uint16_t Machine : {uint16_t(0x14C), uint16_t(0x8664)}) {
        SCOPED_TRACE(Machine);
        const bool Plus = Machine == 0x8664;
        std::vector<uint8_t> Image = BuildTestStub(44, 11111, Machine);
        TStubImage Stub = AnalyzeStub(Bytes(Image), Image.size());
        EXPECT_EQ(Stub.Is64Bit, Plus);
        EXPECT_EQ(Stub.Slot.FileOffset, 0x258u);
        EXPECT_EQ(Stub.Slot.Size, 44u);
        EXPECT_EQ(Stub.Headers.ImageEnd, Image.size());
        // The certificate table's entry, which signing fills in: directory 4.
        EXPECT_EQ(Stub.Headers.CertificateEntryOffset, 0x58u + (Plus ? 112 : 96) + 4 * 8);

        TLoaderOffsetTable Table{};
        Table.FormatVersion = 1;
        Table.MinFileSize = 12345;
        SealOffsetTable(Table);
        WriteOffsetTableSlot(Image.data(), Image.size(), Stub, Table);
        TLoaderOffsetTable Found = FindOffsetTableInImage(Bytes(Image), Image.size());
        EXPECT_EQ(0, std::memcmp(&Found, &Table, sizeof(Table)));
    }
}

TEST(PeStub, RefusesUnusableStubs) {
    struct {
        const char *Name;
        std::vector<uint8_t> Image;
        const char *Expected; // part of the message
    } Cases[] = {
        {"no slot", BuildTestStub(44, 11112), "no offset table slot"},
        {"43-byte slot", BuildTestStub(43), "43 bytes"},
        {"45-byte slot", BuildTestStub(45), "45 bytes"},
        {"not a PE", std::vector<uint8_t>(1024, 'x'), "MZ"},
        {"PE32+ for ARM64", WithMachine(BuildTestStub(44, 11111, 0x8664), 0xAA64), "PE32"},
        {"PE32 magic in a PE32+ layout", WithMagic(BuildTestStub(44, 11111, 0x8664), 0x10B),
         "no offset table slot"},
    };
    std::vector<uint8_t> Appended = BuildTestStub();
    Appended.push_back(0);
    std::vector<uint8_t> Truncated = BuildTestStub();
    Truncated.resize(0x3FF);
    for (auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        try {
            AnalyzeStub(Bytes(C.Image), C.Image.size());
            ADD_FAILURE() << "accepted";
        } catch (const EStubError &E) {
            EXPECT_NE(E.Message().find(C.Expected), std::string::npos) << E.Message();
        }
    }
    EXPECT_THROW(AnalyzeStub(Bytes(Appended), Appended.size()), EStubError);
    EXPECT_THROW(AnalyzeStub(Bytes(Truncated), Truncated.size()), EStubError);
}

// Every prefix of a stub, and every single damaged header byte, is refused or parsed without
// reading outside the bytes given (the sanitizer build checks the reads).
TEST(PeStub, SurvivesTruncationAndDamage) {
    std::vector<uint8_t> Image = BuildTestStub();
    for (size_t Size = 0; Size < Image.size(); ++Size) {
        std::vector<uint8_t> Prefix(Image.begin(), Image.begin() + Size);
        EXPECT_THROW(AnalyzeStub(Prefix.data(), Prefix.size()), EStubError) << Size;
    }
    for (size_t At = 0; At < 0x280; ++At) {
        std::vector<uint8_t> Damaged = Image;
        Damaged[At] ^= 0xFF;
        try {
            AnalyzeStub(Damaged.data(), Damaged.size());
        } catch (const EStubError &) {
        }
    }
}

// What the loader hands to CreateProcess: each kind of file that Windows does not start is
// refused with its reason, a program for another processor only warned about.
TEST(PeStub, ProgramsWindowsCannotStartAreRefused) {
    const std::vector<uint8_t> Good = BuildTestStub(); // a GUI program of the test stub's shape
    const size_t Machine = 0x44, Characteristics = 0x56, Subsystem = 0x9C;
    auto With = [&](size_t At, uint16_t Value) {
        std::vector<uint8_t> Image = Good;
        Image[At] = uint8_t(Value);
        Image[At + 1] = uint8_t(Value >> 8);
        return Image;
    };
    const std::string Text = "@echo off\r\nsetup.exe /S\r\n";
    struct {
        const char *Name;
        std::vector<uint8_t> Image;
        const char *Refusal; // part of the reason; empty: started
        const char *Warning;
    } Cases[] = {
        {"a GUI program", Good, "", ""},
        {"a console program", With(Subsystem, 3), "", ""},
        {"an empty file", {}, "empty", ""},
        {"a text file", std::vector<uint8_t>(Text.begin(), Text.end()), "looks like text", ""},
        {"a DLL", With(Characteristics, 0x2102), "DLL", ""},
        {"an unlinked image", With(Characteristics, 0x0100), "executable image", ""},
        {"a driver", With(Subsystem, 1), "subsystem is 1", ""},
        {"an EFI application", With(Subsystem, 10), "subsystem is 10", ""},
        {"a truncated image", std::vector<uint8_t>(Good.begin(), Good.begin() + 0x300),
         "truncated", ""},
        {"a MIPS program", With(Machine, 0x0166), "machine 0x0166", ""},
        {"an x64 program", With(Machine, 0x8664), "", "64-bit"},
        {"an ARM64 program", With(Machine, 0xAA64), "", "ARM64"},
    };
    for (auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        TProgramImageCheck Check = CheckProgramImage(C.Image.data(), C.Image.size(), C.Image.size());
        EXPECT_NE(Check.Refusal.find(C.Refusal), std::string::npos) << Check.Refusal;
        EXPECT_EQ(Check.Refusal.empty(), *C.Refusal == 0) << Check.Refusal;
        ASSERT_EQ(Check.Warnings.size(), *C.Warning ? 1u : 0u);
        if (*C.Warning) {
            EXPECT_NE(Check.Warnings[0].find(C.Warning), std::string::npos) << Check.Warnings[0];
        }
    }
}

TEST(PeStub, ChecksumIsTheSameInAnyPieces) {
    std::vector<uint8_t> Data(10001);
    for (size_t I = 0; I < Data.size(); ++I)
        Data[I] = uint8_t(I * 7 + (I >> 8));
    const uint64_t Field = 0x98;
    uint32_t Whole = ComputePeChecksum(Data.data(), Data.size(), Field);
    for (size_t Piece : {size_t(1), size_t(7), size_t(4096)}) {
        SCOPED_TRACE(Piece);
        TPeChecksum Sum(Field);
        for (size_t At = 0; At < Data.size(); At += Piece)
            Sum.Add(Data.data() + At, std::min(Piece, Data.size() - At));
        EXPECT_EQ(Sum.Finish(), Whole);
    }
    // The field itself does not count; any other byte does.
    std::vector<uint8_t> Other = Data;
    Other[Field + 2] ^= 0x55;
    EXPECT_EQ(ComputePeChecksum(Other.data(), Other.size(), Field), Whole);
    Other[Field + 4] ^= 0x55;
    EXPECT_NE(ComputePeChecksum(Other.data(), Other.size(), Field), Whole);
}

// The linker fills in the checksum of the real loader; ours must agree with it.
TEST(PeStub, RealLoaderStub) {
    std::string Stub = ReadFileBytes(QUOV_STUB);
    if (Stub.empty())
        GTEST_SKIP() << "no loader stub at " << QUOV_STUB;
    const uint8_t *P = reinterpret_cast<const uint8_t *>(Stub.data());
    TStubImage Info = AnalyzeStub(P, Stub.size());
    EXPECT_EQ(Info.Slot.Size, 44u);
    EXPECT_EQ(ComputePeChecksum(P, Stub.size(), Info.Headers.ChecksumOffset),
              Info.Headers.StoredChecksum);
}

} // namespace
