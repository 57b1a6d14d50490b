#include "crash/core/x86/process_code_memory.h"
#include "crash/core/x86/x86_listing.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace crash {
namespace {

// A function of this program with a loop and a call, kept out of line.
__attribute__((noinline)) int Sample(int n)
{
    int sum = 0;
    for (int i = 0; i < n; ++i)
        sum += static_cast<int>(::GetTickCount() & 1) + i;
    return sum;
}

TEST(ProcessCodeMemory, AnalysesAndListsAFunctionOfThisProgram)
{
    base::TGuardedReadSession session;
    TProcessCodeMemory memory(&session);
    const auto entry = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&Sample));
    const auto range = memory.CodeRange(entry);
    ASSERT_TRUE(range);
    EXPECT_LE(range->first, entry);
    EXPECT_GT(range->second, entry);
    const auto end = memory.ImageEnd(entry);
    ASSERT_TRUE(end);
    EXPECT_GT(*end, range->second - 1);

    const TFunctionInfo f = AnalyseFunction(memory, entry);
    EXPECT_TRUE(f.IsValid) << f.LastErrorStr;
    EXPECT_GE(f.CodeAreas.size(), 2u);                            // the loop
    EXPECT_FALSE(f.FarCalls.empty() && f.UnknownTargets.empty()); // GetTickCount
    TListingOptions options;
    options.ExceptionAddress = entry;
    options.AutoDelimiters = true;
    const std::string listing = DisassemblyListing(memory, f, options);
    EXPECT_NE(listing.find("sub_"), std::string::npos) << listing;
    EXPECT_NE(listing.find(" > "), std::string::npos);
    EXPECT_NE(listing.find("ret"), std::string::npos);
    EXPECT_GT(Sample(3), 2); // and it still runs

    // Nothing to read at address 0; no module there.
    uint8_t byte;
    EXPECT_FALSE(memory.Read(0, &byte, 1));
    EXPECT_FALSE(memory.CodeRange(0x10));
}

} // namespace
} // namespace crash
