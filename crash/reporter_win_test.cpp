// The reporter's layers together in a program that fails (testing/reporter_child.cpp): the
// crash dialog shows, and the report ends up in the report file beside the program, complete,
// with the failing function named; the same failure again is merged into it with its count.

#include "crash/core/intercept/testing/child_process.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>

namespace crash {
namespace {

// Runs the child, and continues it from its crash dialog.
testing::TOutcome FailAndContinue()
{
    testing::TChild child(L"reporter_child.exe", "");
    const HWND dialog = child.WaitForWindow(L"VexcatchWndClass");
    EXPECT_TRUE(dialog);
    const HWND cont = ::FindWindowExW(dialog, nullptr, L"Button", L"continue application");
    EXPECT_TRUE(cont);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(cont), BN_CLICKED),
                   reinterpret_cast<LPARAM>(cont));
    return child.Finish();
}

std::string ReportFile()
{
    const std::wstring path = testing::Beside(L"bugreport.txt");
    std::ifstream in(std::string(path.begin(), path.end()), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Reporter, AFailureEndsInTheReportFileBesideTheProgram)
{
    ::DeleteFileW(testing::Beside(L"bugreport.txt").c_str());
    const testing::TOutcome first = FailAndContinue();
    EXPECT_EQ(first.ExitCode, 0u);
    EXPECT_EQ(first.Lines, std::vector<std::string>{"went on"});
    const std::string once = ReportFile();
    EXPECT_EQ(once.rfind("date/time", 0), 0u) << once;
    EXPECT_TRUE(std::regex_search(
        once, std::regex("\r\ncallstack crc +: \\$[0-9a-f]{8}, \\$[0-9a-f]{8}, \\$[0-9a-f]{8}\r\n")))
        << once;
    EXPECT_NE(once.find("\r\nexception message : Externe Exception $e0004321.\r\n"), std::string::npos)
        << once;
    EXPECT_NE(once.find("FailOnThread"), std::string::npos) << once;
    EXPECT_EQ(once.find("will be calculated soon"), std::string::npos);
    EXPECT_TRUE(once.ends_with("\r\n\r\n"));

    const testing::TOutcome second = FailAndContinue();
    EXPECT_EQ(second.ExitCode, 0u);
    const std::string twice = ReportFile();
    EXPECT_NE(twice.find("\r\ncount             : 2\r\n"), std::string::npos) << twice;
    EXPECT_EQ(twice.find("\r\n\r\ndate/time"), std::string::npos); // one report, counted
    ::DeleteFileW(testing::Beside(L"bugreport.txt").c_str());
}

} // namespace
} // namespace crash
