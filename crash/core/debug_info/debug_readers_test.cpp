#include "crash/core/debug_info/jdbg_reader.h"
#include "crash/core/debug_info/pe_image.h"
#include "crash/core/debug_info/td32_reader.h"
#include "crash/core/debug_info/testing/debug_file_writers.h"
#include "crash/core/debug_info/testing/sample_ranges.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

using testing::TJdbgWriter;
using testing::TTd32Writer;

using testing::SampleRanges;

TTd32Writer SampleTd32(const char* signature)
{
    TTd32Writer w(signature);
    const uint32_t unit1 = w.Name("C:\\src\\Unit1.pas");
    const uint32_t system = w.Name("System.pas");
    const uint32_t click = w.Name("@Unit1@TForm1@Button1Click$qqrp14System@TObject");
    const uint32_t halt = w.Name("@System@@Halt0$qqrv");
    const uint32_t output = w.Name("@System@Output");
    const uint32_t label = w.Name("Unit1.Label");
    w.Module(system, {{1, 1, 0x000, 0x100}, {1, 0, 0x100, 0x50}}); // no flags: not a segment
    w.Module(unit1, {{1, 1, 0x100, 0x80}, {1, 1, 0x182, 0x40}, {1, 1, 0x300, 0}});
    w.SourceModule(unit1, {{1, {{0x120, 30}, {0x128, 31}, {0x1A0, 35}}},
                           {0, {{0x10, 1}}},   // segment 0: skipped
                           {3, {{0x10, 2}}}}); // above 2: skipped
    w.Symbol(0x205, click, 0x120);
    w.Symbol(0x20, halt, 0x10);
    w.Symbol(0x202, output, 0x20);
    w.Symbol(0x21, label, 0x30);
    w.Symbol(0x204, 0, 0x140);  // no name
    w.Symbol(0x204, 99, 0x150); // a name past the table
    return w;
}

TEST(Td32Reader, NamesModulesLinesAndSymbolsOfBothForms)
{
    for (const char* signature : {"FB0A", "FB09"}) {
        const auto data = SampleTd32(signature).Bytes();
        TMapFile map(SampleRanges());
        ASSERT_TRUE(ReadTd32(data, {}, map)) << signature;
        // The module's two touching parts are one segment; ".pas" is dropped from units.
        ASSERT_NE(map.FindSegment(true, 0x401100), nullptr);
        EXPECT_EQ(map.FindSegment(true, 0x401100)->Unit_, "Unit1");
        EXPECT_EQ(map.FindSegment(true, 0x401000)->Unit_, "System");
        EXPECT_EQ(map.FindSegment(true, 0x4011C0)->Unit_, "Unit1");
        EXPECT_EQ(map.FindLine(0x401124), 30);
        EXPECT_EQ(map.FindLine(0x4011A0), 35);
        ASSERT_EQ(map.Lines().size(), 3u);
        EXPECT_EQ(map.FindPublic(0x401125u)->Name, "TForm1.Button1Click");
        EXPECT_EQ(map.FindPublic(0x401010u)->Name, "@Halt0");
        EXPECT_EQ(map.FindPublic(0x401145u)->Name,
                  "TForm1.Button1Click"); // the nameless records are left out
        size_t dataPublics = 0;
        for (const TMfPublic& p : map.Publics())
            dataPublics += !p.Code;
        EXPECT_EQ(dataPublics, 2u);
        EXPECT_EQ(map.FindPublic(true, "", "@Halt0", true), 0x401010u);
    }
}

TEST(Td32Reader, SecondCodeSectionAndPublicsBeyondTheSegments)
{
    TTd32Writer w;
    const uint32_t unit = w.Name("Main.pas");
    const uint32_t far = w.Name("@Main@Far$qqrv");
    w.Module(unit, {{1, 1, 0, 0x40}});
    w.SourceModule(unit, {{2, {{0x8, 7}}}, {3, {{0x4, 9}}}});
    w.Symbol(0x205, far, 0x90); // beyond the module's segment: the segment reaches it
    TTd32Layout layout;
    layout.SecondSectionIsCode = true;
    layout.SecondSectionDistance = 0x1000;
    TMapFile map(SampleRanges());
    ASSERT_TRUE(ReadTd32(w.Bytes(), layout, map));
    EXPECT_EQ(map.FindLine(0x402008), 7); // segment 2 lies in the second section
    EXPECT_EQ(map.FindLine(0x401004), 9);
    EXPECT_EQ(map.FindSegment(true, 0x401090)->Unit_, "Main");
    EXPECT_EQ(map.FindPublic(0x401090u)->Name, "Far");

    TMapFile single(SampleRanges());
    ASSERT_TRUE(ReadTd32(w.Bytes(), {}, single));
    EXPECT_EQ(single.FindLine(0x401008), 7); // one code section: segment 2 is not moved, 3 is skipped
    EXPECT_EQ(single.Lines().size(), 1u);
}

TEST(Td32Reader, DamagedData)
{
    TMapFile none(SampleRanges());
    EXPECT_FALSE(ReadTd32(std::vector<uint8_t>{'F', 'B', '0', 'B', 0, 0, 0, 0}, {}, none));
    auto data = SampleTd32("FB0A").Bytes();
    // A directory that names itself as the next one.
    auto loop = data;
    const uint32_t dir = loop[4] | loop[5] << 8 | loop[6] << 16;
    loop[dir + 8] = loop[4], loop[dir + 9] = loop[5], loop[dir + 10] = loop[6], loop[dir + 11] = loop[7];
    TMapFile looped(SampleRanges());
    EXPECT_TRUE(ReadTd32(loop, {}, looped));
    for (size_t cut = 0; cut < data.size(); ++cut) {
        TMapFile m(SampleRanges());
        ReadTd32({data.data(), cut}, {}, m);
    }
    for (size_t at = 8; at < data.size(); ++at) {
        auto bad = data;
        bad[at] = 0xFF;
        TMapFile m(SampleRanges());
        ReadTd32(bad, {}, m);
    }
}

TJdbgWriter SampleJdbg()
{
    TJdbgWriter w;
    const uint32_t unit1 = w.Name("Unit1");
    const uint32_t system = w.Name("System");
    const uint32_t form = w.Name("TForm1");
    const uint32_t click = w.Name("Button1Click");
    const uint32_t halt = w.Name("Halt0", 2);
    const uint32_t secret = w.Name(JdbgScramble("Secret_Name"), 1);
    w.Sources = {{0x0, system}, {0x100, unit1}};
    w.Symbols = {{0x10, halt, 0}, {0x120, form, click}, {0x140, secret, 0}};
    w.Lines = {{0x120, 30}, {0x128, 31}, {0x130, 29}};
    return w;
}

TEST(JdbgReader, SourcesSymbolsLinesAndNameEncodings)
{
    for (bool checksum : {false, true}) {
        TMapFile map(SampleRanges());
        ASSERT_TRUE(ReadJdbg(SampleJdbg().Bytes(checksum), map));
        EXPECT_EQ(map.FindSegment(true, 0x401050)->Unit_, "System");
        EXPECT_EQ(map.FindSegment(true, 0x40FFFF)->Unit_, "Unit1"); // the last reaches the top of code
        EXPECT_EQ(map.FindPublic(0x401010u)->Name, "@Halt0");
        EXPECT_EQ(map.FindPublic(0x401125u)->Name, "TForm1.Button1Click");
        EXPECT_EQ(map.FindPublic(0x401140u)->Name, "Secret_Name");
        EXPECT_EQ(map.FindLine(0x40112A), 31);
        EXPECT_EQ(map.FindLine(0x401130), 29); // deltas may go down
    }
}

TEST(JdbgReader, RefusedFiles)
{
    const auto good = SampleJdbg().Bytes(true);
    TMapFile m(SampleRanges());
    auto bad = good;
    bad[40] ^= 1; // the checksum no longer matches
    EXPECT_FALSE(ReadJdbg(bad, m));
    bad[5] = 0; // unless it is not marked valid
    EXPECT_TRUE(ReadJdbg(bad, m));
    bad = good;
    bad[4] = 2;
    EXPECT_FALSE(ReadJdbg(bad, m));
    bad = good;
    bad.push_back(0);
    EXPECT_FALSE(ReadJdbg(bad, m)); // not a multiple of 4
    EXPECT_FALSE(ReadJdbg({good.data(), 32}, m));
    for (size_t at = 12; at < 32; ++at) {
        auto offsets = good;
        offsets[5] = 0;
        offsets[at] = 0xFF; // offsets past the end
        TMapFile any(SampleRanges());
        ReadJdbg(offsets, any);
    }
}

TEST(DebugReaders, SayWhyTheyRefuse)
{
    TMapFile m(SampleRanges());
    const auto jdbg = SampleJdbg().Bytes(true);
    auto bad = jdbg;
    bad[40] ^= 1;
    EXPECT_EQ(ReadJdbg(bad, m).Status, TDebugStatus::BadChecksum);
    bad = jdbg;
    bad[4] = 2;
    EXPECT_EQ(ReadJdbg(bad, m).Status, TDebugStatus::WrongVersion);
    bad = jdbg;
    bad.push_back(0);
    EXPECT_EQ(ReadJdbg(bad, m).Status, TDebugStatus::WrongSize);
    EXPECT_EQ(ReadJdbg({jdbg.data(), 32}, m).Status, TDebugStatus::Truncated);
    EXPECT_EQ(ReadJdbg(SampleTd32("FB0A").Bytes(), m).Status, TDebugStatus::WrongSignature);
    EXPECT_EQ(ReadJdbg(TJdbgWriter().Bytes(true), m).Status, TDebugStatus::Empty);

    EXPECT_EQ(ReadTd32(jdbg, {}, m).Status, TDebugStatus::WrongSignature);
    auto td32 = SampleTd32("FB09").Bytes();
    td32[4] = 0xF0, td32[5] = 0xFF; // the directory lies past the end
    EXPECT_EQ(ReadTd32(td32, {}, m).Status, TDebugStatus::Damaged);
    TTd32Writer names("FB09");
    names.Name("Unit1"); // names, but no module, line or symbol
    EXPECT_EQ(ReadTd32(names.Bytes(), {}, m).Status, TDebugStatus::Empty);
}

TEST(PeImage, HeadersSectionsRangesAndDamage)
{
    using testing::PeFile;
    const auto file = PeFile({{".text", 0x1000, PeSectionCode, std::vector<uint8_t>(0x300, 0x90)},
                              {"CODE2", 0x2000, PeSectionCode, std::vector<uint8_t>(0x10, 0xC3)},
                              {".data", 0x3000, PeSectionInitializedData, std::vector<uint8_t>(0x20, 1)}});
    const auto image = TPeImage::Parse(file, false);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->Sections.size(), 3u);
    EXPECT_EQ(image->Sections[1].Name, "CODE2");
    EXPECT_TRUE(image->SecondSectionIsCode());
    const TModuleRanges r = image->Ranges(0x400000);
    EXPECT_EQ(r.BaseOfCode, 0x401000u);
    EXPECT_EQ(r.TopOfCode, 0x402010u); // through the second code section
    EXPECT_EQ(r.BaseOfData, 0x402000u);
    EXPECT_EQ(image->AtRva(0x2000, 0x10)[0], 0xC3);
    EXPECT_TRUE(image->AtRva(0x2000, 0x11).empty());
    EXPECT_TRUE(image->Exports().empty());
    for (size_t cut = 0; cut < 0x400; ++cut)
        TPeImage::Parse({file.data(), cut}, false);
}

// The file checksum: 16-bit words with their carries folded back, an odd last byte as a
// word of its own, the field itself left out, the length added. (Real images are checked
// against the system's own computation in the interception's tests.)
TEST(PeImage, FileChecksum)
{
    const std::vector<uint8_t> words = {0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00, 0x34, 0x12, 0x07};
    // 0xFFFF + 0xFFFF folds to 0xFFFF; + 2 folds to 2; + 0x1234 + 7, then the 9 bytes.
    EXPECT_EQ(PeFileChecksum(words, 100), 0x123Du + 9);
    // The field at 2 (two words) counts as 0: 0xFFFF + 0x1234 folds to 0x1234, + 7.
    EXPECT_EQ(PeFileChecksum(words, 2), 0x123Bu + 9);
    EXPECT_EQ(PeFileChecksum({}, 0), 0u);

    using testing::PeFile;
    auto file = PeFile({{".text", 0x1000, PeSectionCode, std::vector<uint8_t>(0x300, 0x90)}});
    const auto image = TPeImage::Parse(file, false);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->CheckSum, 0u);
    // What the field holds does not change the sum.
    const uint32_t sum = PeFileChecksum(file, image->CheckSumOffset);
    file[image->CheckSumOffset + 1] = 0x55;
    EXPECT_EQ(PeFileChecksum(file, image->CheckSumOffset), sum);
    EXPECT_EQ(TPeImage::Parse(file, false)->CheckSum, 0x5500u);
    file.back() ^= 1;
    EXPECT_NE(PeFileChecksum(file, image->CheckSumOffset), sum);
}

TEST(PeImage, NamedExportsByAddressWithoutForwarders)
{
    // An export directory at 0x2000: two functions, the second a forwarder (its address lies
    // in the directory); "Zeta" names the forwarder, "Alpha" the function.
    base::TByteWriter e;
    e.Zeros(40);
    e.PatchU32(20, 2), e.PatchU32(24, 2), e.PatchU32(28, 0x2040), e.PatchU32(32, 0x2048),
        e.PatchU32(36, 0x2050);
    e.Zeros(0x40 - e.Size());
    e.U32(0x1010).U32(0x2060); // functions
    e.U32(0x2054).U32(0x2059); // names
    e.U16(1).U16(0);           // ordinals of the names
    e.Chars(std::string("Zeta\0Alpha\0", 11));
    e.Chars(std::string("Other.Function\0", 15));
    const auto file = testing::PeFile({{".text", 0x1000, PeSectionCode, std::vector<uint8_t>(0x100, 0xC3)},
                                       {".edata", 0x2000, PeSectionInitializedData, e.Data()}},
                                      0, 0, 0x2000, 0x80);
    const auto image = TPeImage::Parse(file, false);
    ASSERT_TRUE(image);
    const auto exports = image->Exports();
    ASSERT_EQ(exports.size(), 1u);
    EXPECT_EQ(exports[0].Name, "Alpha");
    EXPECT_EQ(exports[0].Rva, 0x1010u);
}

} // namespace
} // namespace crash
