// Saving reports into a real report file: beside the program by default, duplicates merged,
// no half-written file left behind.

#include "crash/core/intercept/testing/child_process.h"
#include "crash/settings/module_settings.h"
#include "crash/ui/report_html_win.h"
#include "crash/ui/report_saving_win.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <fstream>
#include <iterator>
#include <string>

namespace crash {
namespace {

std::string Read(const std::wstring& path)
{
    std::ifstream in(std::string(path.begin(), path.end()), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::u16string Report(const std::u16string& time)
{
    return u"date/time        : " + time +
           u"\r\nexecutable       : crash_ui_win_test.exe\r\nversion          : 1.0\r\n"
           u"callstack crc    : $11111111, $22222222, $33333333\r\nexception class  : \u00c4rger";
}

TEST(ReportSaving, BesideTheProgramWithDuplicatesMerged)
{
    const base::ComPtr<ReportSettings> settings = ModuleSettingsFor(nullptr);
    settings->SetBugReportFile(u"saved reports\\bugreport.txt");
    const std::wstring file = testing::Beside(L"saved reports\\bugreport.txt");
    ::DeleteFileW(file.c_str());
    ASSERT_TRUE(SaveReportToFile(u"", Report(u"1"), nullptr, *settings, true));
    EXPECT_EQ(Read(file),
              "date/time        : 1\r\nexecutable       : crash_ui_win_test.exe\r\nversion          : "
              "1.0\r\ncallstack crc    : $11111111, $22222222, $33333333\r\nexception class  : \xc3\x84rger"
              "\r\n\r\n");
    ASSERT_TRUE(SaveReportToFile(u"", Report(u"2"), nullptr, *settings, true));
    const std::string merged = Read(file);
    EXPECT_EQ(merged.find("date/time        : 1"), std::string::npos) << merged;
    EXPECT_NE(merged.find("\r\ncount            : 2\r\n"), std::string::npos) << merged;
    EXPECT_EQ(::GetFileAttributesW((file + L".new").c_str()), INVALID_FILE_ATTRIBUTES);
    // An explicit name, and nothing for an empty report.
    const std::wstring other = testing::Beside(L"saved reports\\other.txt");
    ::DeleteFileW(other.c_str());
    const std::wstring otherName = other;
    EXPECT_TRUE(SaveReportToFile(std::u16string(otherName.begin(), otherName.end()), Report(u"3"), nullptr,
                                 *settings, true));
    EXPECT_NE(Read(other).find("date/time        : 3"), std::string::npos);
    EXPECT_FALSE(SaveReportToFile(u"", u"", nullptr, *settings, true));
    ::DeleteFileW(file.c_str());
    ::DeleteFileW(other.c_str());
    ::RemoveDirectoryW(testing::Beside(L"saved reports").c_str());
}

// Freezes (reports without an exception class) merge by their own rule: here by the first
// checksum only, where two exceptions with the same difference stay apart.
TEST(ReportSaving, FreezesMergeByTheirOwnRule)
{
    const base::ComPtr<ReportSettings> settings = ModuleSettingsFor(nullptr);
    settings->SetBugReportFile(u"freezes.txt");
    settings->SetDupFreezeDef(ddExceptAddrIdentical);
    settings->SetDupExceptDef(ddAllStacksIdentical);
    const std::wstring file = testing::Beside(L"freezes.txt");
    ::DeleteFileW(file.c_str());
    const auto report = [](const char16_t* time, const char16_t* second, bool exception) {
        return u"date/time        : " + std::u16string(time) +
               u"\r\nexecutable       : crash_ui_win_test.exe\r\ncallstack crc    : $11111111, " + second +
               u", $33333333\r\nexception number : 1" +
               (exception ? u"\r\nexception class  : EFailure" : u"");
    };
    for (const bool exception : {false, true}) {
        ASSERT_TRUE(SaveReportToFile(u"", report(u"a", u"$22222222", exception), nullptr, *settings, true));
        ASSERT_TRUE(SaveReportToFile(u"", report(u"b", u"$99999999", exception), nullptr, *settings, true));
        const std::string text = Read(file);
        EXPECT_EQ(text.find("date/time        : a") == std::string::npos, !exception) << text;
        EXPECT_EQ(text.find("count            : 2") != std::string::npos, !exception) << text;
        ::DeleteFileW(file.c_str());
    }
}

void WriteFile(const std::wstring& path, const std::string& text)
{
    std::ofstream out(std::string(path.begin(), path.end()), std::ios::binary | std::ios::trunc);
    out << text;
}

// A process killed at any step of a save leaves the old file or the new one, whole; the next
// save finishes the work, and no earlier report is lost.
TEST(ReportSaving, KilledAtAnyStepTheOldFileOrTheNewOne)
{
    const std::wstring file = testing::Beside(L"killed\\bugreport.txt");
    ::CreateDirectoryW(testing::Beside(L"killed").c_str(), nullptr);
    const std::string old =
        "date/time        : first\r\nexecutable       : save_child.exe\r\n"
        "callstack crc    : $44444444, $55555555, $66666666\r\nexception class  : EOther\r\n\r\n"
        "date/time        : second\r\nexecutable       : save_child.exe\r\n"
        "callstack crc    : $11111111, $22222222, $33333333\r\nexception class  : EFailure"
        "\r\n\r\n";
    const std::string arguments = " " + std::string(file.begin(), file.end());
    WriteFile(file, old);
    ASSERT_EQ(testing::Start(L"save_child.exe", "3" + arguments).Lines, std::vector<std::string>{"saved"});
    const std::string saved = Read(file);
    ASSERT_NE(saved, old);
    EXPECT_NE(saved.find("date/time        : first"), std::string::npos) << saved;  // kept
    EXPECT_EQ(saved.find("date/time        : second"), std::string::npos) << saved; // merged
    EXPECT_NE(saved.find("count            : 2"), std::string::npos) << saved;

    for (int step = 0; step < 3; ++step) {
        WriteFile(file, old);
        const testing::TOutcome killed = testing::Start(L"save_child.exe", std::to_string(step) + arguments);
        EXPECT_EQ(killed.ExitCode, 9u) << step;
        EXPECT_EQ(Read(file), step < 2 ? old : saved) << step;
        // The next save after a killed one.
        EXPECT_EQ(testing::Start(L"save_child.exe", "3" + arguments).Lines,
                  std::vector<std::string>{"saved"});
        EXPECT_NE(Read(file).find("date/time        : first"), std::string::npos) << step;
    }
    EXPECT_EQ(::GetFileAttributesW((file + L".new").c_str()), INVALID_FILE_ATTRIBUTES);
    ::DeleteFileW(file.c_str());
    ::RemoveDirectoryW(testing::Beside(L"killed").c_str());
}

// When the report file cannot be made beside the program (a folder of its name is in the way
// here), it goes to the user's application-data folder, under the program's name.
TEST(ReportSaving, ToTheUsersFolderWhenTheProgramsFolderCannotTakeIt)
{
    const base::ComPtr<ReportSettings> settings = ModuleSettingsFor(nullptr);
    settings->SetBugReportFile(u"blocked report.txt");
    const std::wstring blocker = testing::Beside(L"blocked report.txt");
    ASSERT_TRUE(::CreateDirectoryW(blocker.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    wchar_t appData[MAX_PATH] = L"";
    ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData)));
    const std::wstring folder = std::wstring(appData) + L"\\crash_ui_win_test",
                       fallback = folder + L"\\blocked report.txt";
    ::DeleteFileW(fallback.c_str());
    EXPECT_TRUE(SaveReportToFile(u"", Report(u"4"), nullptr, *settings, true));
    EXPECT_NE(Read(fallback).find("date/time        : 4"), std::string::npos);
    ::DeleteFileW(fallback.c_str());
    ::RemoveDirectoryW(folder.c_str());
    ::RemoveDirectoryW(blocker.c_str());
}

// The page with this program's settings: its message, its captions, the report hidden.
TEST(ReportHtmlOf, TheProgramsTextsAroundTheReport)
{
    const base::ComPtr<ReportSettings> settings = ModuleSettingsFor(nullptr);
    const std::u16string page = ReportHtmlPageOf(*settings, Report(u"1"));
    EXPECT_NE(page.find(u"<title>crash_ui_win_test.exe</title>"), std::u16string::npos);
    EXPECT_NE(page.find(u"An error occurred in the application.</p>"), std::u16string::npos);
    EXPECT_NE(page.find(u"&nbsp;show bug report&nbsp;</button>"), std::u16string::npos);
    EXPECT_NE(page.find(u"visibility:hidden;\">\r\ndate/time"), std::u16string::npos);
    // A line break in the message as stored is a line break on the page.
    const std::u16string before = settings->GetPropStrUnexpanded("ExceptMsg");
    settings->SetPropStr("ExceptMsg", u"It failed.%LF%Sorry.");
    EXPECT_NE(ReportHtmlPageOf(*settings, Report(u"1")).find(u"It failed.<br>\r\nSorry.</p>"),
              std::u16string::npos);
    settings->SetPropStr("ExceptMsg", before);
}

} // namespace
} // namespace crash
