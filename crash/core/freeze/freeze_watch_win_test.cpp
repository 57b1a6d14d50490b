// Freeze detection in a real program (testing/freeze_child.cpp): a main thread that answers
// nothing for four timeouts is reported as frozen; one that keeps processing its messages
// never is.

#include "crash/core/intercept/testing/child_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace crash {
namespace {

TEST(FreezeWatch, ABlockedMainThreadIsReportedAndAnAnsweringOneIsNot)
{
    const testing::TOutcome blocked = testing::Start(L"freeze_child.exe", "blocked");
    EXPECT_EQ(blocked.ExitCode, 0u);
    ASSERT_GE(blocked.Lines.size(), 2u);
    EXPECT_EQ(blocked.Lines.front(), "report 1 1 EFrozen"); // etFrozen, esAntiFreezeCheck
    EXPECT_NE(std::find(blocked.Lines.begin(), blocked.Lines.end(), "went on"), blocked.Lines.end());

    const testing::TOutcome pumping = testing::Start(L"freeze_child.exe", "pumping");
    EXPECT_EQ(pumping.ExitCode, 0u);
    EXPECT_EQ(pumping.Lines, std::vector<std::string>{"went on"});
}

} // namespace
} // namespace crash
