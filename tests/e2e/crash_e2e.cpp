// The shipped lumigate.exe with its crash reporter: a failure that is injected from outside
// (a thread started at an address where no code is) shows the crash dialog with this
// program's buttons; its close button ends the program with the failure's code, and the
// complete report ends up in "bugreport.txt" beside the program.
// vextrace asks the waiting program for the report of its current state, whose main thread
// waits in the window's message loop.
//     crash_e2e LUMIGATE_EXE VEXTRACE_EXE ARTIFACTS_FOLDER

#include "tests/e2e/driver.h"

#include "base/win_handle.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

namespace {

std::wstring Exe, Vextrace, Artifacts;

std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

HWND Button(HWND dialog, const wchar_t* caption)
{
    return ::FindWindowExW(dialog, nullptr, L"Button", caption);
}

TEST(CrashReporter, AFailureShowsTheDialogAndLeavesTheReportBesideTheProgram)
{
    // A copy of its own, so that its report file is this test's.
    const std::wstring folder = FolderOf(Exe) + L"crash_e2e\\", exe = folder + L"lumigate.exe",
                       report = folder + L"bugreport.txt";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW(Exe.c_str(), exe.c_str(), FALSE));
    ::DeleteFileW(report.c_str());

    e2e::TProgram program(exe);
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(program.WaitForMainWindow());
    const base::KernelHandle process(::OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION |
                                                       PROCESS_VM_OPERATION | PROCESS_VM_WRITE |
                                                       PROCESS_VM_READ,
                                                   FALSE, program.Id()));
    ASSERT_TRUE(process);
    const base::KernelHandle failing(::CreateRemoteThread(
        process.Get(), nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(static_cast<uintptr_t>(0x10)),
        nullptr, 0, nullptr));
    ASSERT_TRUE(failing);

    const HWND dialog = e2e::WaitForWindow(L"VexcatchWndClass", program.Id());
    ASSERT_TRUE(dialog);
    e2e::SaveScreenshot(dialog, Artifacts + L"lumigate-crash.bmp");
    for (const wchar_t* caption :
         {L"save bug report", L"show bug report", L"restart application", L"close application"})
        EXPECT_TRUE(Button(dialog, caption)) << std::string(caption, caption + wcslen(caption));
    EXPECT_FALSE(Button(dialog, L"send bug report"));
    EXPECT_FALSE(Button(dialog, L"print bug report"));
    // A thread that is not the main one failed: the program could go on.
    const HWND go = Button(dialog, L"continue application");
    EXPECT_TRUE(go && ::IsWindowVisible(go) && ::IsWindowEnabled(go));
    // Saving walks into the Save Assistant, whose forms the program carries; Escape leaves it.
    ASSERT_TRUE(e2e::PressButton(dialog, L"save bug report"));
    const HWND assistant = e2e::WaitForWindow(L"DrevassaWnd", program.Id(), 0, 10000);
    ASSERT_TRUE(assistant);
    EXPECT_NE(e2e::WindowText(assistant).find(L"Save"), std::wstring::npos);
    ::PostMessageW(e2e::FocusIn(assistant), WM_KEYDOWN, VK_ESCAPE, 0);
    for (int i = 0; i < 100 && !::IsWindowEnabled(dialog); ++i)
        ::Sleep(50);
    EXPECT_TRUE(::IsWindowEnabled(dialog));

    ASSERT_TRUE(e2e::PressButton(dialog, L"close application"));
    ASSERT_TRUE(program.WaitForExit(20000));
    EXPECT_EQ(program.ExitCode(), 0xC0000005u);
    // The report was saved on the way out.
    const std::string text = e2e::ReadWhole(report);
    EXPECT_EQ(text.rfind("date/time", 0), 0u) << text;
    EXPECT_TRUE(std::regex_search(
        text, std::regex("\r\ncallstack crc +: \\$[0-9a-f]{8}, \\$[0-9a-f]{8}, \\$[0-9a-f]{8}\r\n")))
        << text;
    EXPECT_NE(text.find("executable"), std::string::npos) << text;
    EXPECT_NE(text.find("lumigate.exe"), std::string::npos) << text;
    EXPECT_NE(text.find("framework.TApplication.Run"), std::string::npos) << text; // the main thread, named
    EXPECT_NE(text.find("\r\nexception message : Access Violation.\r\n"), std::string::npos) << text;

    ::CopyFileW(report.c_str(), (Artifacts + L"lumigate-bugreport.txt").c_str(), FALSE);
    ::DeleteFileW(report.c_str());
    ::DeleteFileW(exe.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

TEST(Vextrace, TheReportOfAWaitingProgram)
{
    e2e::TProgram program(Exe);
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(program.WaitForMainWindow());
    const auto [code, report] = e2e::RunVextrace(Vextrace, std::to_wstring(program.Id()));
    EXPECT_EQ(code, 0u) << report;
    EXPECT_EQ(report.rfind("date/time", 0), 0u) << report;
    EXPECT_NE(report.find("exception message : The application seems to be frozen."), std::string::npos)
        << report;
    EXPECT_NE(e2e::ReportSection(report, "main thread").find("framework.TApplication.Run"), std::string::npos)
        << report;
    EXPECT_EQ(report.find("TraceProcessThread"), std::string::npos);
    // Through the clipboard, where the program puts the report when no mapping was made for it:
    // this program's report, not what the clipboard held before.
    const auto [clipboardCode, clipboardReport] =
        e2e::RunVextrace(Vextrace, std::to_wstring(program.Id()) + L" --clipboard");
    EXPECT_EQ(clipboardCode, 0u) << clipboardReport;
    EXPECT_EQ(clipboardReport.rfind("date/time", 0), 0u) << clipboardReport;
    char id[16];
    std::snprintf(id, sizeof id, "$%lx", program.Id());
    EXPECT_EQ(e2e::ReportHeaderValue(clipboardReport, "process id"), id) << clipboardReport;
    EXPECT_NE(e2e::ReportSection(clipboardReport, "main thread").find("framework.TApplication.Run"),
              std::string::npos)
        << clipboardReport;
    // Asked by name, and of a process without a reporter (this test), and of none.
    EXPECT_EQ(e2e::RunVextrace(Vextrace, L"lumigate.exe").first, 0u);
    EXPECT_EQ(e2e::RunVextrace(Vextrace, std::to_wstring(::GetCurrentProcessId())).first, 3u);
    EXPECT_EQ(e2e::RunVextrace(Vextrace, L"no-such-program.exe").first, 2u);
    EXPECT_EQ(e2e::RunVextrace(Vextrace, L"999999").first, 2u); // process ids are multiples of 4
    ::PostMessageW(program.WaitForMainWindow(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 4)
        return 2;
    Exe = e2e::WindowsPath(argv[1]);
    Vextrace = e2e::WindowsPath(argv[2]);
    Artifacts = e2e::WindowsPath(argv[3]);
    if (!Artifacts.empty() && Artifacts.back() != L'\\')
        Artifacts += L'\\';
    return RUN_ALL_TESTS();
}
