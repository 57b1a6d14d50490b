#include "crash/core/x86/x86_function.h"
#include "crash/core/x86/x86_listing.h"

#include "crash/core/x86/testing/code_image.h"

#include <gtest/gtest.h>

#include <vector>

namespace crash {
namespace {

using testing::Image;

std::vector<std::pair<uint32_t, uint32_t>> Areas(const TFunctionInfo& f)
{
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const TCodeArea& c : f.CodeAreas)
        out.emplace_back(c.AreaBegin, c.AreaEnd);
    return out;
}

using AreaList = std::vector<std::pair<uint32_t, uint32_t>>;

TEST(X86Function, AJumpBackIntoAParsedAreaSplitsIt)
{
    // A block laid out after the entry area jumps back into the middle of it.
    Image m;
    m.Put(0x401000, {0x31, 0xC0,       // xor eax, eax
                     0x40,             // 401002: inc eax
                     0xEB, 0x0B});     // jmp 401010
    m.Put(0x401010, {0x83, 0xF8, 0x0A, // cmp eax, 10
                     0x7C, 0xED,       // jl 401002
                     0xC3});
    const TFunctionInfo f = AnalyseFunction(m, 0x401000);
    EXPECT_TRUE(f.IsValid);
    EXPECT_EQ(Areas(f), (AreaList{{0x401000, 0x401001}, {0x401002, 0x401004}, {0x401010, 0x401015}}));
    const TCodeArea* back = AreaAt(f, 0x401002);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->CalledFrom, 0x401013u);
    EXPECT_TRUE(f.FarCalls.empty());
    // The listing labels the target and the jump names the label.
    TListingOptions o;
    o.AutoDelimiters = true;
    const std::string listing = DisassemblyListing(m, f, o);
    EXPECT_NE(listing.find("00401002 loc_401002:"), std::string::npos) << listing;
    EXPECT_NE(listing.find("jl      loc_401002"), std::string::npos) << listing;
}

TEST(X86Function, ALoopRecordsItsCallsOnce)
{
    Image m;
    m.Put(0x401000, {0x31, 0xC9,                   // xor ecx, ecx
                     0xE8, 0xF9, 0x0F, 0x00, 0x00, // 401002: call 402000
                     0x41,                         // inc ecx
                     0x83, 0xF9, 0x0A,             // cmp ecx, 10
                     0x7C, 0xF5,                   // jl 401002
                     0xC3});
    const TFunctionInfo f = AnalyseFunction(m, 0x401000);
    EXPECT_TRUE(f.IsValid);
    EXPECT_EQ(Areas(f), (AreaList{{0x401000, 0x401001}, {0x401002, 0x40100D}}));
    ASSERT_EQ(f.FarCalls.size(), 1u);
    EXPECT_EQ(f.FarCalls[0].Target, 0x402000u);
    EXPECT_EQ(f.FarCalls[0].CodeAddr1, 0x401002u);
}

TEST(X86Function, AnyUnconditionalJumpAtTheEntryIsAThunk)
{
    // Short and through memory, each to code in the same range: the other function is not
    // walked into.
    Image shortJump;
    shortJump.Put(0x401000, {0xEB, 0x10});
    shortJump.Put(0x401012, {0x90, 0xC3});
    Image throughMemory;
    throughMemory.Put(0x401000, {0xFF, 0x25, 0x00, 0x20, 0x40, 0x00});
    throughMemory.PutDword(0x402000, 0x401100);
    throughMemory.Put(0x401100, {0x90, 0xC3});
    for (auto [m, end, target] :
         {std::tuple{&shortJump, 0x401001u, 0x401012u}, std::tuple{&throughMemory, 0x401005u, 0x401100u}}) {
        const TFunctionInfo f = AnalyseFunction(*m, 0x401000);
        EXPECT_TRUE(f.IsValid);
        EXPECT_EQ(Areas(f), (AreaList{{0x401000, end}}));
        ASSERT_EQ(f.FarCalls.size(), 1u);
        EXPECT_EQ(f.FarCalls[0].Target, target);
        EXPECT_FALSE(f.FarCalls[0].Call);
    }
}

TEST(X86Function, UnknownTargetsResolvedLaterAreTreatedAsInTheFirstPass)
{
    // eax holds an address when the area at 401010 is entered; the call there forgets it,
    // so `jmp eax` is resolved only with the area's own register state.
    auto image = [](uint32_t eax) {
        Image m;
        m.Put(0x401000, {0xB8}); // mov eax, ...
        m.PutDword(0x401001, eax);
        m.Put(0x401005, {0xEB, 0x09});                 // jmp 401010
        m.Put(0x401010, {0xE8, 0xEB, 0x0F, 0x00, 0x00, // call 402000
                         0xFF, 0xE0});                 // jmp eax
        m.Put(0x401020, {0xC3});
        return m;
    };
    // To a new place: an area, no far transfer.
    Image toNew = image(0x401020);
    const TFunctionInfo f = AnalyseFunction(toNew, 0x401000);
    EXPECT_TRUE(f.IsValid);
    EXPECT_TRUE(AreaAt(f, 0x401020));
    EXPECT_TRUE(f.UnknownTargets.empty());
    ASSERT_EQ(f.FarCalls.size(), 1u);
    EXPECT_TRUE(f.FarCalls[0].Call);
    // To an area that exists: as a jump there in the first pass, nothing is recorded.
    Image toExisting = image(0x401010);
    const TFunctionInfo g = AnalyseFunction(toExisting, 0x401000);
    EXPECT_TRUE(g.UnknownTargets.empty());
    ASSERT_EQ(g.FarCalls.size(), 1u);
    EXPECT_TRUE(g.FarCalls[0].Call);
    // Out of the code range: a far transfer through the register.
    Image away = image(0x77001000);
    const TFunctionInfo h = AnalyseFunction(away, 0x401000);
    ASSERT_EQ(h.FarCalls.size(), 2u);
    EXPECT_EQ(h.FarCalls[1].Target, 0x77001000u);
    EXPECT_EQ(h.FarCalls[1].CodeAddr1, 0x401015u);
}

TEST(X86Function, GapsAfterAnUnresolvedJumpAreFilledUntilTheyFail)
{
    Image m;
    m.Put(0x401000, {0x85, 0xC0,   // test eax, eax
                     0x74, 0x0C,   // jz 401010
                     0xFF, 0xE0,   // jmp eax (unknown)
                     0x40, 0xC3}); // 401006: inc eax; ret (reached by no jump)
    m.Put(0x401010, {0xC3});
    const TFunctionInfo f = AnalyseFunction(m, 0x401000);
    EXPECT_TRUE(f.IsValid) << f.LastErrorStr;
    // 401008 holds no code (nothing readable): that area is dropped and the filling stops.
    EXPECT_EQ(Areas(f), (AreaList{{0x401000, 0x401005}, {0x401006, 0x401007}, {0x401010, 0x401010}}));
    ASSERT_EQ(f.UnknownTargets.size(), 1u);
    EXPECT_EQ(f.UnknownTargets[0].CodeAddr1, 0x401004u);

    // Without an indirect jump nothing is filled.
    m.Put(0x401004, {0xC3});
    EXPECT_EQ(Areas(AnalyseFunction(m, 0x401000)), (AreaList{{0x401000, 0x401004}, {0x401010, 0x401010}}));
}

} // namespace
} // namespace crash
