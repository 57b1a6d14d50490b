#include "base/win_handle.h"
#include "crash/core/debug_info/debug_container.h"
#include "crash/core/debug_info/module_debug_info.h"
#include "crash/core/debug_info/pdb_reader.h"
#include "crash/core/debug_info/pe_image.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace crash {
namespace {

// A function on one line: its first instruction's line is that one.
// clang-format off
__attribute__((noinline)) int KnownFunction(int a) { return a + __LINE__; }
// clang-format on
constexpr int KnownLine = __LINE__ - 2;

uint32_t AddressOf(const void* p)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

std::wstring Folder()
{
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

TEST(ModuleDebugInfo, ThisProgramsOwnContainer)
{
    const uint32_t known = AddressOf(reinterpret_cast<const void*>(&KnownFunction));
    const TMapFile* map = ModuleMapFile(known);
    ASSERT_NE(map, nullptr);
    EXPECT_TRUE(map->Valid());
    EXPECT_EQ(map->MinDebugInfo(), "");
    EXPECT_EQ(ModuleMapFile(known + 1), map); // one map per module, kept
    const TAddressInfo info = AddressInfo(known + 1);
    EXPECT_EQ(info.Unit, "module_debug_info_test.cpp");
    EXPECT_EQ(info.PublicName, "crash.(anonymous namespace).KnownFunction(int)");
    EXPECT_EQ(info.PublicAddress, known);
    EXPECT_EQ(info.Line, KnownLine);
    EXPECT_NE(info.ModuleName.find(L"crash_debug_win_test"), std::wstring::npos);
    EXPECT_EQ(FunctionName(known),
              "module_debug_info_test.cpp.crash.(anonymous namespace).KnownFunction(int)");
    EXPECT_EQ(KnownFunction(0), KnownLine);
    // The entry point, from the container.
    EXPECT_NE(map->EntryPoint(), 0u);
    // Only the library's own files: the embedded container still counts.
    EXPECT_TRUE(LoadModuleMapFile(::GetModuleHandleW(nullptr), true, true).Valid());
}

TEST(ModuleDebugInfo, TheShippedExeCarriesItsContainer)
{
    char exe[MAX_PATH];
    ASSERT_TRUE(::GetEnvironmentVariableA("LUMIGATE_EXE", exe, MAX_PATH));
    std::vector<uint8_t> container;
    {
        const base::Module image(::LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(image.Valid());
        HRSRC info = ::FindResourceW(image.Get(), L"EXCEPT", L"VEX");
        ASSERT_NE(info, nullptr);
        const auto* bytes = static_cast<const uint8_t*>(::LockResource(::LoadResource(image.Get(), info)));
        container.assign(bytes, bytes + ::SizeofResource(image.Get(), info));
    }
    std::ifstream in(exe, std::ios::binary);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto pe = TPeImage::Parse(file, false);
    ASSERT_TRUE(pe);
    TMapFile map(pe->Ranges(static_cast<uint32_t>(pe->ImageBase)));
    ASSERT_TRUE(ImportContainer(container, map));
    EXPECT_NE(map.FindPublic(true, "", "wWinMain@16", true), 0u);
    EXPECT_EQ(map.EntryPoint(), pe->ImageBase + pe->AddressOfEntryPoint);
    // The same tables as the side file beside it.
    std::ifstream side(std::string(exe).substr(0, std::string(exe).size() - 4) + ".vex", std::ios::binary);
    const std::vector<uint8_t> vex{std::istreambuf_iterator<char>(side), std::istreambuf_iterator<char>()};
    EXPECT_EQ(vex, container);
}

TEST(ModuleDebugInfo, ModulesWithoutInformationNameTheirExports)
{
    const base::Module sample(::LoadLibraryW(L"pdb_sample.dll"));
    ASSERT_TRUE(sample.Valid());
    const uint32_t second =
        AddressOf(reinterpret_cast<const void*>(::GetProcAddress(sample.Get(), "SampleSecond")));
    ASSERT_NE(second, 0u);
    EXPECT_EQ(FunctionName(second + 4), "(SampleSecond)");
    EXPECT_FALSE(ModuleMapFile(second)->Valid());
    EXPECT_EQ(ModuleMapFile(0x10), nullptr); // in no module
    EXPECT_EQ(FunctionName(0x10), "");
}

// Wine's dbghelp reads the DWARF 4 of a PE image; the PDB path runs on that.
TEST(PdbReader, LinesAndSymbolsThroughTheDebugHelpLibrary)
{
    ASSERT_TRUE(DebugHelpAvailable()); // copied beside this program by the build
    const std::wstring pdb = Folder() + L"pdb_sample_copy.pdb";
    ASSERT_TRUE(::CopyFileW((Folder() + L"pdb_sample.dll").c_str(), pdb.c_str(), FALSE));
    std::ifstream in(pdb.c_str(), std::ios::binary);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto image = TPeImage::Parse(file, false);
    ASSERT_TRUE(image);
    const uint32_t correct = CorrectBaseOfFile(pdb);
    EXPECT_EQ(correct, image->Sections[0].VirtualAddress);
    const TModuleRanges ranges = image->Ranges(0x10000000);
    TMapFile map(ranges, true);
    ASSERT_TRUE(ReadPdb(pdb, correct, map));
    const auto exports = image->Exports();
    ASSERT_EQ(exports.size(), 2u);
    for (const TPeExport& e : exports) {
        const TMfPublic* p = map.FindPublic(0x10000000 + e.Rva);
        ASSERT_NE(p, nullptr) << e.Name;
        EXPECT_EQ(p->Name, e.Name);
        EXPECT_EQ(p->Address, 0x10000000 + e.Rva);
        const TMfSegment* s = map.FindSegment(true, p->Address);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->Unit_, "pdb_sample.cpp");
        EXPECT_GT(map.FindLine(p->Address), 0);
    }
    EXPECT_EQ(map.FindLine(0x10000000 + exports[0].Rva), 7); // SampleFirst's opening line
    EXPECT_EQ(CorrectBaseOfFile(Folder() + L"no such file.pdb"), 4096u);
    ::DeleteFileW(pdb.c_str());
}

} // namespace
} // namespace crash
