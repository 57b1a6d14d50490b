#include "crash/core/debug_info/debug_container.h"
#include "crash/core/debug_info/debug_sources.h"
#include "crash/core/debug_info/testing/debug_file_writers.h"
#include "crash/core/debug_info/testing/sample_ranges.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace crash {
namespace {

using testing::SampleRanges;

// A module "C:\app\prog.exe" with whatever files a test puts beside it.
class TFakeFiles : public IDebugSourceFiles
{
public:
    std::wstring ModuleFileName() override { return L"C:\\app.v2\\prog.exe"; }
    std::span<const uint8_t> EmbeddedContainer() override { return Embedded; }
    std::optional<TPeImage> MappedImage() override
    {
        return Mapped.empty() ? std::nullopt : TPeImage::Parse(Mapped, true);
    }
    std::optional<std::vector<uint8_t>> ReadFile(const std::wstring& path) override
    {
        auto it = Files.find(path);
        return it == Files.end() || Unreadable.count(path) ? std::nullopt : std::optional(it->second.second);
    }
    std::optional<int64_t> WriteTime(const std::wstring& path) override
    {
        auto it = Files.find(path);
        return it == Files.end() ? std::nullopt : std::optional(it->second.first);
    }
    bool ReadPdb(const std::wstring&, TMapFile& map) override
    {
        map.AddPublic(true, "FromPdb", 0x10);
        map.Finish();
        return true;
    }
    std::string MinDebugInfo() override { return Identity; }

    void Put(const std::wstring& extension, std::vector<uint8_t> bytes, int64_t time = 100)
    {
        Files[L"C:\\app.v2\\prog" + extension] = {time, std::move(bytes)};
    }

    std::vector<uint8_t> Embedded, Mapped;
    std::string Identity;
    std::map<std::wstring, std::pair<int64_t, std::vector<uint8_t>>> Files;
    std::set<std::wstring> Unreadable; // there, but locked
};

std::vector<uint8_t> Container(const std::string& name, bool minimal = false)
{
    TMapFile map(SampleRanges());
    map.AddSegment(true, 0, 0x100, "Unit1");
    map.AddPublic(true, name, 0x10);
    map.AddLine(5, 0x401010);
    map.Finish();
    TExportOptions o;
    o.MinimalOnly = minimal;
    return ExportContainer(map, o);
}

std::vector<uint8_t> Text(const std::string& s)
{
    return {s.begin(), s.end()};
}

const char* const MapText = "\r\n Start         Length     Name                   Class\r\n"
                            " 0001:00401000 00000100H .text                   CODE\r\n\r\n"
                            "  Address         Publics by Value\r\n\r\n 0001:00000010       FromMap\r\n";

std::string PublicAt(TFakeFiles& files, bool onlyOwn = false)
{
    TMapFile map(SampleRanges());
    if (!LoadDebugInformation(files, onlyOwn, map))
        return "-";
    const TMfPublic* p = map.FindPublic(0x401010u);
    return p ? p->Name : "?";
}

TEST(DebugSources, TheOrderOfTheSources)
{
    TFakeFiles files;
    files.Put(L".vex", Container("FromVex"));
    files.Put(L".jdbg", {});
    EXPECT_EQ(PublicAt(files), "FromVex");
    files.Put(L".map", Text(MapText));
    EXPECT_EQ(PublicAt(files), "FromMap");
    EXPECT_EQ(PublicAt(files, true), "FromVex"); // only the library's own files
    files.Put(L".pdb", {});
    EXPECT_EQ(PublicAt(files), "FromPdb");
    EXPECT_EQ(PublicAt(files, true), "FromVex");
    files.Embedded = Container("Embedded");
    EXPECT_EQ(PublicAt(files), "Embedded");

    // An existing map ends the search even when it holds nothing.
    TFakeFiles empty;
    empty.Put(L".map", Text("nothing here"));
    empty.Put(L".vex", Container("FromVex"));
    EXPECT_EQ(PublicAt(empty), "-");
    // A damaged embedded container gives way to the side files.
    empty.Embedded = {1, 2, 3};
    empty.Files.erase(L"C:\\app.v2\\prog.map");
    EXPECT_EQ(PublicAt(empty), "FromVex");
    EXPECT_EQ(ChangeExtension(L"C:\\app.v2\\prog", L".map"), L"C:\\app.v2\\prog.map");
}

TEST(DebugSources, MinimalInformationAndItsIdentity)
{
    const auto full = Container("Button1Click");
    TFakeFiles files;
    files.Embedded = Container("Button1Click", true);
    files.Identity = ContainerIdentity(full);
    files.Put(L".vex", full);
    TMapFile map(SampleRanges());
    ASSERT_TRUE(LoadDebugInformation(files, true, map));
    EXPECT_EQ(map.FindPublic(0x401010u)->Name, "Button1Click");
    EXPECT_EQ(map.MinDebugInfo(), "");

    // A side file of another build: the module's own numbered tables, and the identity for
    // the report.
    files.Put(L".vex", Container("Other"));
    TMapFile minimal(SampleRanges());
    ASSERT_TRUE(LoadDebugInformation(files, true, minimal));
    EXPECT_EQ(minimal.FindPublic(0x401010u)->Name, "public%0");
    EXPECT_EQ(minimal.MinDebugInfo(), files.Identity);
    EXPECT_EQ(minimal.FindLine(0x401010), -1); // the unit has lines that are elsewhere
}

TEST(DebugSources, Td32FromTdsFilesAndImages)
{
    testing::TTd32Writer w;
    const uint32_t unit = w.Name("Unit1.pas");
    w.Symbol(0x205, w.Name("@Unit1@FromTds$qqrv"), 0x10);
    w.Module(unit, {{1, 1, 0, 0x100}});
    const auto td32 = w.Bytes();

    TFakeFiles tds;
    tds.Put(L".tds", td32, 200);
    EXPECT_EQ(PublicAt(tds), "FromTds");
    EXPECT_EQ(PublicAt(tds, true), "-");
    // Beside a map the map counts, also when the .tds is newer.
    tds.Put(L".map", Text(MapText), 100);
    EXPECT_EQ(PublicAt(tds), "FromMap");
    // A map that cannot be read: a .tds older than it is left out, a newer one is read.
    tds.Unreadable.insert(L"C:\\app.v2\\prog.map");
    EXPECT_EQ(PublicAt(tds), "FromTds");
    tds.Put(L".map", Text(MapText), 300);
    EXPECT_EQ(PublicAt(tds), "-");

    // The module's own file: TD32 behind the last section, where the debug directory is.
    base::TByteWriter debug;
    debug.U32(0).U32(0).U32(0).U32(0).U32(static_cast<uint32_t>(td32.size())).U32(0).U32(0x800);
    debug.PadTo(0x200);
    auto file = testing::PeFile({{".text", 0x1000, PeSectionCode, std::vector<uint8_t>(0x100, 0xC3)},
                                 {".debug", 0x2000, PeSectionInitializedData, debug.Data()}},
                                0x2000, 28);
    ASSERT_EQ(file.size(), 0x800u);
    file.insert(file.end(), td32.begin(), td32.end());
    TFakeFiles own;
    own.Files[L"C:\\app.v2\\prog.exe"] = {100, file};
    EXPECT_EQ(PublicAt(own), "FromTds");
    // A debug directory elsewhere than at the last section: no TD32 there.
    auto moved = testing::PeFile({{".text", 0x1000, PeSectionCode, std::vector<uint8_t>(0x100, 0xC3)},
                                  {".debug", 0x2000, PeSectionInitializedData, debug.Data()}},
                                 0x2004, 28);
    moved.insert(moved.end(), td32.begin(), td32.end());
    own.Files[L"C:\\app.v2\\prog.exe"] = {100, moved};
    EXPECT_EQ(PublicAt(own), "-");
}

TEST(DebugSources, Td32InTheMappedImage)
{
    testing::TTd32Writer w("FB09");
    w.Symbol(0x205, w.Name("InMemory"), 0x10);
    w.Module(w.Name("Unit1"), {{1, 1, 0, 0x100}});
    const auto td32 = w.Bytes();
    base::TByteWriter debug;
    debug.U32(0).U32(0).U32(0).U32(0).U32(static_cast<uint32_t>(td32.size())).U32(0x3000).U32(0);
    // A mapped image: every section at its virtual address.
    auto mapped = testing::PeFile({{".text", 0x1000, PeSectionCode, {}}}, 0x2000, 28);
    mapped.resize(0x3000);
    std::copy(debug.Data().begin(), debug.Data().end(), mapped.begin() + 0x2000);
    mapped.insert(mapped.end(), td32.begin(), td32.end());
    TFakeFiles files;
    files.Mapped = mapped;
    // The older form counts only after the side files.
    files.Put(L".vex", Container("FromVex"));
    EXPECT_EQ(PublicAt(files), "FromVex");
    files.Files.clear();
    EXPECT_EQ(PublicAt(files), "InMemory");
}

} // namespace
} // namespace crash
