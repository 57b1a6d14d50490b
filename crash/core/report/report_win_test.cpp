// The report assembly under the pipeline in a real program (testing/report_child.cpp): the
// dialog gets the report at once with its placeholders, the completion thread fills them in,
// the callbacks hear of it, and the traces name the program's functions.

#include "crash/core/intercept/testing/child_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace crash {
namespace {

TEST(ReportUnderThePipeline, PlaceholdersFirstThenTheCompletedReport)
{
    const testing::TOutcome o = testing::Start(L"report_child.exe", "");
    std::string all;
    for (const std::string& line : o.Lines)
        all += line + " | ";
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
    EXPECT_TRUE(has("went on"));
}

} // namespace
} // namespace crash
