// The report assembly under the pipeline in a real program (testing/report_child.cpp): the
// dialog gets the report at once with its placeholders, the completion thread fills them in,
// the callbacks hear of it, and the traces name the program's functions.

#include "crash/core/intercept/testing/child_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace crash {
namespace {

std::string Joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines)
        all += line + " | ";
    return all;
}

TEST(ReportUnderThePipeline, PlaceholdersFirstThenTheCompletedReport)
{
    const testing::TOutcome o = testing::Start(L"report_child.exe", "");
    const std::string all = Joined(o.Lines);
    EXPECT_EQ(o.ExitCode, 0u) << all;
    const auto has = [&](const std::string& line) {
        return std::find(o.Lines.begin(), o.Lines.end(), line) != o.Lines.end();
    };
    EXPECT_TRUE(has("placeholders")) << all;
    EXPECT_TRUE(std::regex_search(
        all, std::regex("callstack crc +: \\$[0-9a-f]{8}, \\$[0-9a-f]{8}, \\$[0-9a-f]{8} ")))
        << all;
    EXPECT_TRUE(has("callback complete")) << all;
    EXPECT_TRUE(has("failing named")) << all;
    EXPECT_TRUE(has("main named")) << all;
    EXPECT_TRUE(has("creator named")) << all;
    EXPECT_TRUE(has("went on"));
}

// A parent that waits for the complete report sees the please-wait window while the
// completion runs, its completion thread raised to the highest priority, and no window after.
TEST(ReportUnderThePipeline, PleaseWaitWhileTheDialogWaitsForTheCompletion)
{
    const testing::TOutcome o = testing::Start(L"report_child.exe", "wait");
    const std::string all = Joined(o.Lines);
    EXPECT_EQ(o.ExitCode, 0u) << all;
    for (const char* line :
         {"please wait shown", "priority highest", "please wait closed", "callback complete"})
        EXPECT_NE(std::find(o.Lines.begin(), o.Lines.end(), line), o.Lines.end()) << line << ": " << all;
}

// Once the program went on and nobody holds the report, its completion stops where it is.
TEST(ReportUnderThePipeline, ACompletionNobodyWaitsForStops)
{
    const testing::TOutcome o = testing::Start(L"report_child.exe", "release");
    const std::string all = Joined(o.Lines);
    EXPECT_EQ(o.ExitCode, 0u) << all;
    EXPECT_NE(all.find("went on | slow returned"), std::string::npos) << all;
    EXPECT_EQ(all.find("after ran"), std::string::npos) << all;
    EXPECT_EQ(all.find("callback complete"), std::string::npos) << all;
}

} // namespace
} // namespace crash
