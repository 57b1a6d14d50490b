#include "crash/core/x86/x86_function.h"
#include "crash/core/x86/x86_listing.h"

#include "crash/core/x86/testing/code_image.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace crash {
namespace {

using testing::Image;

TListingOptions Options(uint32_t exception)
{
    TListingOptions o;
    o.ExceptionAddress = exception;
    o.AutoDelimiters = true;
    o.NameOf = [](uint32_t a) -> std::string {
        if (a == 0x401000)
            return "Unit1.TForm1.Button1Click";
        if (a == 0x402000)
            return "Work";
        if (a == 0x403010)
            return "@DoneExcept";
        if (a == 0x77001000)
            return "Sleep (kernel32.dll)";
        return "";
    };
    o.ImageEnd = [](uint32_t a) -> std::optional<uint32_t> {
        if (a >= 0x400000 && a < 0x410000)
            return 0x410000u;
        return std::nullopt;
    };
    o.ClassNameOf = [](uint32_t c) {
        return c == 0x405000 ? std::string("EAccessViolation") : std::string();
    };
    return o;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Compares with golden/NAME.txt (rewritten with LUMIGATE_UPDATE_GOLDEN=1).
void ExpectGolden(const std::string& name, const std::string& listing)
{
    const std::string path = std::string(LUMIGATE_X86_GOLDEN) + "/" + name + ".txt";
    if (std::getenv("LUMIGATE_UPDATE_GOLDEN")) {
        std::ofstream(path, std::ios::binary) << listing;
        return;
    }
    EXPECT_EQ(listing, ReadFile(path)) << name;
}

TEST(X86Listing, AJumpTableFunction)
{
    Image m;
    m.Put(0x401000,
          {0x55, 0x8B, 0xEC, 0x83, 0xF8, 0x02, 0x77, 0x1F, 0xFF, 0x24, 0x85, 0x0F, 0x10, 0x40, 0x00});
    m.PutDword(0x40100F, 0x40101B);
    m.PutDword(0x401013, 0x40101F);
    m.PutDword(0x401017, 0x401023);
    m.Put(0x40101B, {0x31, 0xC0, 0x5D, 0xC3, 0xB0, 0x01, 0x5D, 0xC3, 0xB0, 0x02, 0x5D, 0xC3, 0x83, 0xC8, 0xFF,
                     0x5D, 0xC3});
    const TFunctionInfo f = AnalyseFunction(m, 0x401000);
    EXPECT_TRUE(f.IsValid);
    EXPECT_EQ(f.CodeBegin, 0x401000u);
    EXPECT_EQ(f.CodeLen, 0x2Cu);
    const TCodeArea* table = AreaAt(f, 0x40100F);
    ASSERT_TRUE(table);
    EXPECT_TRUE(table->CaseBlock);
    EXPECT_EQ(table->AreaEnd, 0x40101Au);
    for (uint32_t c : {0x40101Bu, 0x40101Fu, 0x401023u, 0x401027u})
        EXPECT_TRUE(AreaAt(f, c)) << std::hex << c;
    ExpectGolden("listing_jump_table", DisassemblyListing(m, f, Options(0x40101F)));
}

TEST(X86Listing, AnExceptionFrameAndItsHandler)
{
    Image m;
    m.Put(0x401000, {0x55, 0x8B, 0xEC, 0x31, 0xC0, 0x55, 0x68, 0x20, 0x10, 0x40, 0x00, 0x64, 0xFF, 0x30, 0x64,
                     0x89, 0x20, 0xE8, 0xEA, 0x0F, 0x00, 0x00, 0x31, 0xC0, 0x5A, 0x59, 0x59, 0x64, 0x89, 0x10,
                     0xEB, 0x0A, 0xE9, 0xDB, 0x1F, 0x00, 0x00, 0xE8, 0xE6, 0x1F, 0x00, 0x00, 0x5D, 0xC3});
    TRuntimeEntries runtime;
    runtime.HandleAnyException = 0x403000;
    const TFunctionInfo f = AnalyseFunction(m, 0x401000, runtime);
    EXPECT_TRUE(f.IsValid);
    EXPECT_TRUE(AreaAt(f, 0x401020)); // the handler
    EXPECT_TRUE(AreaAt(f, 0x401025)); // where the runtime comes back
    EXPECT_TRUE(AreaAt(f, 0x40102A));
    TListingOptions o = Options(0x401011);
    o.Runtime = runtime;
    ExpectGolden("listing_exception_frame", DisassemblyListing(m, f, o));
}

TEST(X86Listing, AnExceptionTableAfterHandleOnException)
{
    Image m;
    // try ... except on EAccessViolation do ...; else ...; end
    m.Put(0x401000, {0x31, 0xC0, 0x55, 0x68, 0x20, 0x10, 0x40, 0x00, 0x64, 0xFF, 0x30, 0x64,
                     0x89, 0x20, 0x31, 0xC0, 0x5A, 0x59, 0x59, 0x64, 0x89, 0x10, 0xEB, 0x28});
    m.Put(0x401020, {0xE9, 0xEB, 0x1F, 0x00, 0x00}); // jmp HandleOnException (0x403010)
    m.PutDword(0x401025, 2);
    m.PutDword(0x401029, 0x405000);
    m.PutDword(0x40102D, 0x401039);
    m.PutDword(0x401031, 0);
    m.PutDword(0x401035, 0x40103B);
    m.Put(0x401039, {0x90, 0xC3, 0x90, 0xC3});
    m.Put(0x401040, {0xC3});
    TRuntimeEntries runtime;
    runtime.HandleOnException = 0x403010;
    const TFunctionInfo f = AnalyseFunction(m, 0x401000, runtime);
    EXPECT_TRUE(f.IsValid) << f.LastErrorStr;
    const TCodeArea* table = AreaAt(f, 0x401025);
    ASSERT_TRUE(table);
    EXPECT_TRUE(table->OnExceptBlock);
    EXPECT_EQ(table->AreaEnd, 0x401038u);
    EXPECT_TRUE(AreaAt(f, 0x401039));
    EXPECT_TRUE(AreaAt(f, 0x40103B));
    TListingOptions o = Options(0x40103A);
    o.Runtime = runtime;
    ExpectGolden("listing_exception_table", DisassemblyListing(m, f, o));
}

TEST(X86Listing, AThunkIsOneAreaAndOneFarTransfer)
{
    Image m;
    m.Put(0x401000, {0xFF, 0x25, 0x00, 0x20, 0x40, 0x00});
    m.PutDword(0x402000, 0x77001000);
    const TFunctionInfo f = AnalyseFunction(m, 0x401000);
    ASSERT_EQ(f.CodeAreas.size(), 1u);
    EXPECT_EQ(f.CodeAreas[0].AreaEnd, 0x401005u);
    ASSERT_EQ(f.FarCalls.size(), 1u);
    EXPECT_EQ(f.FarCalls[0].Target, 0x77001000u);
    EXPECT_EQ(f.FarCalls[0].PPTarget, 0x402000u);
    EXPECT_FALSE(f.FarCalls[0].Call);
    ExpectGolden("listing_thunk", DisassemblyListing(m, f, Options(0x401000)));

    // A jump to it is named after the thunk's target.
    Image caller;
    caller.Bytes = m.Bytes;
    caller.Put(0x401100, {0xE8, 0xFB, 0xFE, 0xFF, 0xFF, 0xC3});
    const std::string listing = DisassemblyListing(caller, AnalyseFunction(caller, 0x401100), Options(0));
    EXPECT_NE(listing.find("  ; Unit1.TForm1.Button1Click"), std::string::npos) << listing;
}

TEST(X86Listing, TheLimitAroundTheExceptionLine)
{
    Image m;
    for (uint32_t k = 0; k < 40; ++k)
        m.Put(0x401000 + k, {0x90});
    m.Put(0x401028, {0xC3});
    TListingOptions o = Options(0);
    o.AutoDelimiters = false;
    o.Limit = 10;
    const TFunctionInfo f = AnalyseFunction(m, 0x401000);
    auto lines = [&](uint32_t exception) {
        o.ExceptionAddress = exception;
        std::vector<std::string> out;
        std::stringstream s(DisassemblyListing(m, f, o));
        for (std::string line; std::getline(s, line);)
            out.push_back(line.substr(0, line.find('\r')));
        return out;
    };
    // The label line and 11 instructions before the exception line: 12 lines, kept.
    auto twelve = lines(0x40100B);
    EXPECT_NE(twelve.front(), "[...]");
    EXPECT_EQ(twelve[12].substr(0, 11), "0040100b > ");
    EXPECT_EQ(twelve.size(), 12u + 1 + 10 + 1);
    EXPECT_EQ(twelve.back(), "[...]");
    // 13 lines before: cut to the 10 before it.
    auto thirteen = lines(0x40100C);
    EXPECT_EQ(thirteen.front(), "[...]");
    EXPECT_EQ(thirteen[11].substr(0, 9), "0040100c ");
    EXPECT_EQ(thirteen[1].substr(0, 8), "00401002");
    // Near the end nothing is cut after it.
    EXPECT_NE(lines(0x401025).back(), "[...]");
}

TEST(X86Listing, TextCommentsNeedFourPlausibleCharacters)
{
    Image m;
    m.Put(0x401000, {0xB8, 0x00, 0x11, 0x40, 0x00, 0xB8, 0x10, 0x11, 0x40, 0x00, 0xC3});
    m.PutText(0x401100, "abc");
    m.PutText(0x401110, "abcd");
    const std::string listing = DisassemblyListing(m, AnalyseFunction(m, 0x401000), Options(0));
    EXPECT_EQ(listing.find("'abc'"), std::string::npos) << listing;
    EXPECT_NE(listing.find("  ; 'abcd'"), std::string::npos) << listing;

    EXPECT_TRUE(PlausibleText("Hello, world"));
    EXPECT_FALSE(PlausibleText("abc"));
    EXPECT_FALSE(PlausibleText("a.b.c.d.e."));
    EXPECT_FALSE(PlausibleText("{|}~^_`{|}~ab"));
    EXPECT_TRUE(PlausibleText("C:\\Windows\\system32"));
}

TEST(X86Listing, LineNumbersUndecodableBytesAndOverlappingAreas)
{
    Image m;
    m.Put(0x401000, {0x55, 0x8B, 0xEC, 0x5D, 0xC3});
    TListingOptions o = Options(0x401003);
    o.LineOf = [](uint32_t a) { return a < 0x401003 ? 7 : 12; };
    ExpectGolden("listing_line_numbers", DisassemblyListing(m, AnalyseFunction(m, 0x401000), o));

    Image bad;
    bad.Put(0x401000, {0x55, 0x0F, 0xFF});
    const TFunctionInfo f = AnalyseFunction(bad, 0x401000);
    EXPECT_FALSE(f.IsValid);
    EXPECT_EQ(f.LastErrorAddr, 0x401001u);
    EXPECT_NE(DisassemblyListing(bad, f, Options(0)).find("db"), std::string::npos);

    TFunctionInfo overlapping = AnalyseFunction(m, 0x401000);
    TCodeArea extra;
    extra.AreaBegin = 0x401002;
    extra.AreaEnd = 0x401004;
    overlapping.CodeAreas.push_back(extra);
    EXPECT_EQ(DisassemblyListing(m, overlapping, Options(0)), ListingInternalError);
}

} // namespace
} // namespace crash
