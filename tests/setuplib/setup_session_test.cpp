#include "setuplib/setup_session.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/setupdata/memory_file.h"
#include "tests/tools/test_stub.h"
#include "tools/package_builder.h"
#include "tools/packlib/message_block_writer.h"
#include "tools/packlib/pe_stub.h"

namespace {

// A package with both author areas, two languages (English, Chinese in code page 936) and the
// table the loader's resource would hold.
struct TPackageFixture {
    explicit TPackageFixture(const std::string &SecondData, const std::string &SetupData) {
        const std::vector<uint8_t> Stub = BuildTestStub();
        TPackageParts Parts;
        Parts.Stub.assign(Stub.begin(), Stub.end());
        Parts.SecondData = SecondData;
        Parts.SetupData = SetupData;
        Parts.Header.ApplicationName = "Sample";
        Parts.Header.LanguageEntryCount = 2;
        std::string Texts[LoaderMessageCount];
        Texts[148] = "Setup";
        Parts.Languages.push_back({"English", BuildMessageBlock(Texts), 0x0409, 0});
        Texts[148] = "\xb0\xb2\xd7\xb0"; // "install" in code page 936
        Parts.Languages.push_back({"Chinese", BuildMessageBlock(Texts), 0x0804, 936});
        Parts.Program = RunnableProgram("program");
        Bytes = BuildPackage(Parts);
        Table = FindOffsetTableInImage(reinterpret_cast<const uint8_t *>(Bytes.data()),
                                       Bytes.size());
    }
    std::string Bytes;
    TLoaderOffsetTable Table;
};

std::string ReadArea(TCustomFile &File, const TFileArea &Area) {
    std::string Out(Area.Length, '\0');
    ReadFileArea(File, Area, 0, &Out[0], Out.size());
    return Out;
}

} // namespace

TEST(SetupSession, FindsBothAreasExactly) {
    std::string Large(70000, '\0');
    for (size_t I = 0; I < Large.size(); ++I)
        Large[I] = static_cast<char>(I * 7 + I / 251);
    const struct {
        const char *Name;
        std::string Second, Setup;
    } Cases[] = {
        {"both", std::string("second\0bytes", 12), Large},
        {"neither", "", ""},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TPackageFixture Package(Case.Second, Case.Setup);
        TMemoryFile File(Package.Bytes);
        TSetupSession Session;
        OpenSetupSession(&Package.Table, File, Package.Table.SetupDataOffset,
                         Package.Table.SecondDataOffset, Session);
        EXPECT_EQ(Session.SecondData.Offset, Package.Table.SecondDataOffset);
        EXPECT_EQ(ReadArea(File, Session.SecondData), Case.Second);
        EXPECT_EQ(ReadArea(File, Session.SetupData), Case.Setup);
        EXPECT_EQ(Session.SetupData.Offset + Session.SetupData.Length,
                  Package.Table.SetupProgramOffset);
        EXPECT_EQ(Session.Header.ApplicationName(), "Sample");
        ASSERT_EQ(Session.Entries.size(), 2u);
        EXPECT_EQ(ApplicationNameCodePage(Session), 936u);
    }
}

TEST(SetupSession, ReadsOnlyInsideAnArea) {
    TPackageFixture Package("0123456789", "abcdefghij");
    TMemoryFile File(Package.Bytes);
    TSetupSession Session;
    OpenSetupSession(&Package.Table, File, Package.Table.SetupDataOffset,
                     Package.Table.SecondDataOffset, Session);
    const struct {
        uint64_t Position, Count;
        const char *Expected; // null: out of range
    } Cases[] = {
        {0, 10, "abcdefghij"}, {3, 4, "defg"}, {10, 0, ""},    {9, 1, "j"},
        {9, 2, nullptr},       {11, 0, nullptr}, {1, ~0ull, nullptr}, {~0ull, 2, nullptr},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(std::to_string(Case.Position) + "+" + std::to_string(Case.Count));
        char Buffer[16] = {};
        if (!Case.Expected) {
            EXPECT_THROW(ReadFileArea(File, Session.SetupData, Case.Position, Buffer, Case.Count),
                         EOutOfRange);
            continue;
        }
        ReadFileArea(File, Session.SetupData, Case.Position, Buffer, Case.Count);
        EXPECT_EQ(std::string(Buffer, Case.Count), Case.Expected);
    }
}

// The acceptance itself is the loader's routine (tested with it); these are the checks added
// on top of it.
TEST(SetupSession, RefusesOffsetsThatDoNotFit) {
    TPackageFixture Package("second", "setup");
    using TChange = void (*)(TLoaderOffsetTable &Table, uint32_t &SetupData, uint32_t &Second);
    const struct {
        const char *Name;
        TChange Change;
        bool Mismatch; // else corrupt
    } Cases[] = {
        {"setup data offset on /SL5=", [](TLoaderOffsetTable &, uint32_t &S, uint32_t &) { --S; },
         true},
        {"second data offset on /SL5=", [](TLoaderOffsetTable &, uint32_t &, uint32_t &D) { ++D; },
         true},
        {"program before the setup data",
         [](TLoaderOffsetTable &T, uint32_t &, uint32_t &) {
             T.SetupProgramOffset = T.SetupDataOffset + 70;
             SealOffsetTable(T);
         },
         false},
        {"second data behind the setup data",
         [](TLoaderOffsetTable &T, uint32_t &, uint32_t &D) {
             D = T.SecondDataOffset = T.SetupDataOffset + 1;
             SealOffsetTable(T);
         },
         false},
    };
    for (const auto &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TLoaderOffsetTable Table = Package.Table;
        uint32_t SetupData = Table.SetupDataOffset, Second = Table.SecondDataOffset;
        Case.Change(Table, SetupData, Second);
        TMemoryFile File(Package.Bytes);
        TSetupSession Session;
        if (Case.Mismatch)
            EXPECT_THROW(OpenSetupSession(&Table, File, SetupData, Second, Session),
                         EPackageMismatch);
        else
            EXPECT_THROW(OpenSetupSession(&Table, File, SetupData, Second, Session),
                         ECompressDataError);
        EXPECT_TRUE(Session.Entries.empty());
    }
}
