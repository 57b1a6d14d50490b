#include "crash/core/debug_info/debug_container.h"
#include "crash/core/debug_info/testing/sample_ranges.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

using testing::SampleRanges;

TMapFile Sample()
{
    TMapFile map(SampleRanges());
    map.AddSegment(true, 0, 0x100, "System");
    map.AddSegment(true, 0x100, 0x10000, "Unit1");
    map.AddPublic(true, "Halt0", 0x10);
    map.AddPublic(true, "Near", 0x10 + 127);      // a one-byte difference
    map.AddPublic(true, "Far", 0x10 + 127 + 128); // the difference needs four bytes
    map.AddPublic(true, "TForm1.Button1Click", 0x200);
    map.AddLine(10, 0x401200);
    map.AddLine(11, 0x401204);
    map.AddLine(300, 0x402000);
    map.AddLine(2, 0x402010);
    map.SetEntryPoint(0x401300);
    map.Finish();
    return map;
}

void ExpectSameTables(const TMapFile& a, const TMapFile& b)
{
    ASSERT_EQ(a.Segments().size(), b.Segments().size());
    for (size_t k = 0; k < a.Segments().size(); ++k) {
        EXPECT_EQ(a.Segments()[k].Unit_, b.Segments()[k].Unit_);
        EXPECT_EQ(a.Segments()[k].StartAddress, b.Segments()[k].StartAddress);
        EXPECT_EQ(a.Segments()[k].Length, b.Segments()[k].Length);
    }
    ASSERT_EQ(a.Publics().size(), b.Publics().size());
    for (size_t k = 0; k < a.Publics().size(); ++k) {
        EXPECT_EQ(a.Publics()[k].Name, b.Publics()[k].Name);
        EXPECT_EQ(a.Publics()[k].Address, b.Publics()[k].Address);
    }
    ASSERT_EQ(a.Lines().size(), b.Lines().size());
    for (size_t k = 0; k < a.Lines().size(); ++k) {
        EXPECT_EQ(a.Lines()[k].Line, b.Lines()[k].Line);
        EXPECT_EQ(a.Lines()[k].Address, b.Lines()[k].Address);
    }
    EXPECT_EQ(a.EntryPoint(), b.EntryPoint());
}

TEST(DebugContainer, ExportAndImportInBothVersions)
{
    const TMapFile map = Sample();
    for (bool newFormat : {false, true}) {
        TExportOptions o;
        o.NewFormat = newFormat;
        o.DosDate = 0x5A89;
        o.DosTime = 0x6000;
        const std::vector<uint8_t> container = ExportContainer(map, o);
        ASSERT_FALSE(container.empty());
        EXPECT_EQ(container.size() % 4, 0u);
        const auto header = ReadContainerHeader(container);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->Version, newFormat ? 3u : 2u);
        if (newFormat) {
            EXPECT_EQ(header->DosDate, 0x5A89);
            EXPECT_EQ(header->DosTime, 0x6000);
            const std::string identity = ContainerIdentity(container);
            EXPECT_EQ(identity.size(), 31u);
            EXPECT_EQ(identity.substr(0, 9),
                      "$000000" + std::string(1, "0123456789abcdef"[container.size() >> 4 & 15]) +
                          std::string(1, "0123456789abcdef"[container.size() & 15]));
        }
        TMapFile loaded(SampleRanges());
        ASSERT_TRUE(ImportContainer(container, loaded));
        ExpectSameTables(map, loaded);
        EXPECT_EQ(loaded.FindPublic(0x401010u + 127 + 128 + 5)->Name, "Far");
    }
}

TEST(DebugContainer, MinimalContainersAndDamage)
{
    TExportOptions minimal;
    minimal.MinimalOnly = true;
    const std::vector<uint8_t> small = ExportContainer(Sample(), minimal);
    ASSERT_TRUE(ReadContainerHeader(small));
    EXPECT_EQ(ReadContainerHeader(small)->Flags & ContainerMinimalFlag, ContainerMinimalFlag);
    // Its names are elsewhere: units and publics are numbered, the lines are left out, and
    // a unit that has lines says so.
    TMapFile numbered(SampleRanges());
    ASSERT_TRUE(ImportContainer(small, numbered));
    ASSERT_EQ(numbered.Segments().size(), 2u);
    EXPECT_EQ(numbered.Segments()[1].Unit_, "segment%1");
    EXPECT_TRUE(numbered.Segments()[1].LineNumbers);
    EXPECT_FALSE(numbered.Segments()[0].LineNumbers);
    EXPECT_EQ(numbered.FindPublic(0x401200u)->Name, "public%3");
    EXPECT_TRUE(numbered.Lines().empty());
    EXPECT_EQ(numbered.FindLine(0x401200), -1);

    const std::vector<uint8_t> good = ExportContainer(Sample(), {});
    auto damaged = good;
    damaged[0] ^= 1;
    TMapFile m1(SampleRanges());
    EXPECT_FALSE(ImportContainer(damaged, m1));
    damaged = good;
    damaged[18] = 4; // version 4
    EXPECT_FALSE(ImportContainer(damaged, m1));
    damaged = good;
    damaged[40] ^= 0x55; // the payload
    EXPECT_FALSE(ImportContainer(damaged, m1));
    for (size_t cut = 0; cut < good.size(); cut += 3) {
        TMapFile m(SampleRanges());
        ImportContainer({good.data(), cut}, m);
    }
    EXPECT_EQ(ContainerIdentity({good.data(), 10}), "");
}

TEST(DebugContainer, SaysWhyItRefuses)
{
    const std::vector<uint8_t> good = ExportContainer(Sample(), {});
    TMapFile m(SampleRanges());
    auto bad = good;
    bad[0] ^= 1;
    EXPECT_EQ(ImportContainer(bad, m).Status, TDebugStatus::WrongSignature);
    bad = good;
    bad[18] = 4;
    EXPECT_EQ(ImportContainer(bad, m).Status, TDebugStatus::WrongVersion);
    EXPECT_EQ(ImportContainer({good.data(), 20}, m).Status, TDebugStatus::Truncated); // inside the header
    EXPECT_EQ(ImportContainer({good.data(), good.size() - 8}, m).Status, TDebugStatus::Truncated);
    bad = good;
    bad[40] ^= 0x55;
    EXPECT_EQ(ImportContainer(bad, m).Status, TDebugStatus::Damaged); // the deflate stream
    EXPECT_EQ(ImportContainer(good, m).Status, TDebugStatus::Ok);
}

} // namespace
} // namespace crash
