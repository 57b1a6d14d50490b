// A tour of the crash demo, as a developer would click through it: the demo's window; a
// write violation on the main thread, whose crash dialog restarts the program (the old
// process ends with 2, a new one takes over); a C++ exception on a thread in the new process,
// whose report is shown, whose save walks into the Save Assistant (left with Escape) and
// whose dialog lets the program go on; the program closed. Screenshots and
// the report file go to ARTIFACTS_FOLDER. Prints each step; exit code 0 when every step went
// as it should.
//     demo_tour CRASH_DEMO_EXE ARTIFACTS_FOLDER

#include "tests/e2e/driver.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

int Failures = 0;

void Step(bool ok, const char* what)
{
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    std::fflush(stdout);
    if (!ok)
        ++Failures;
}

HWND DemoButton(HWND form, const wchar_t* caption)
{
    return ::FindWindowExW(form, nullptr, L"Button", caption);
}

void Click(HWND button)
{
    ::PostMessageW(button, BM_CLICK, 0, 0);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const std::wstring exe = e2e::WindowsPath(argv[1]);
    std::wstring artifacts = e2e::WindowsPath(argv[2]);
    if (!artifacts.empty() && artifacts.back() != L'\\')
        artifacts += L'\\';
    const std::wstring report = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"bugreport.txt";
    ::DeleteFileW(report.c_str());

    e2e::TProgram first(exe);
    HWND form = first.Started() ? first.WaitForMainWindow() : nullptr;
    Step(form, "the demo's window shows");
    if (!form)
        return 1;
    e2e::SaveScreenshot(form, artifacts + L"demo-window.bmp");

    Click(DemoButton(form, L"write violation"));
    HWND dialog = e2e::WaitForWindow(L"VexcatchWndClass", first.Id());
    Step(dialog, "a write violation on the main thread shows the crash dialog");
    if (!dialog)
        return 1;
    e2e::SaveScreenshot(dialog, artifacts + L"demo-crash.bmp");
    Step(e2e::PressButton(dialog, L"restart application"), "restart pressed");
    Step(first.WaitForExit(20000) && first.ExitCode() == 2, "the old process ends with exit code 2");

    form = e2e::WaitForWindow(L"LumigateForm", 0, first.Id());
    Step(form, "the restarted demo's window shows");
    if (!form)
        return 1;
    e2e::TProgram second(e2e::ProcessOf(form));
    Click(DemoButton(form, L"CreateThread"));
    Click(DemoButton(form, L"std::exception"));
    dialog = e2e::WaitForWindow(L"VexcatchWndClass", e2e::ProcessOf(form));
    Step(dialog, "a C++ exception on a thread shows the crash dialog");
    if (!dialog)
        return 1;
    Step(e2e::PressButton(dialog, L"show bug report"), "show bug report pressed");
    ::Sleep(1500);
    dialog = e2e::WaitForWindow(L"VexcatchWndClass", e2e::ProcessOf(form));
    if (dialog)
        e2e::SaveScreenshot(dialog, artifacts + L"demo-report.bmp");
    Step(dialog && e2e::PressButton(dialog, L"save bug report"), "save bug report pressed");
    const HWND assistant = e2e::WaitForWindow(L"DrevassaWnd", e2e::ProcessOf(form), 0, 10000);
    Step(assistant, "the Save Assistant's first form shows");
    if (assistant) {
        const HWND focus = e2e::FocusIn(assistant); // the form has been shown and has its focus
        e2e::SaveScreenshot(assistant, artifacts + L"demo-assistant.bmp");
        ::PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 0);
    }
    for (int i = 0; i < 100 && dialog && !::IsWindowEnabled(dialog); ++i)
        ::Sleep(50);
    Step(dialog && ::IsWindowEnabled(dialog) && !::IsWindow(assistant),
         "Escape leaves it, the dialog is back");
    Step(dialog && e2e::PressButton(dialog, L"continue application"), "continue pressed");
    for (int i = 0; i < 100 && ::IsWindow(dialog); ++i)
        ::Sleep(50);
    Step(!::IsWindow(dialog) && ::IsWindow(form) && !second.WaitForExit(0),
         "the dialog closes, the demo goes on");
    ::PostMessageW(form, WM_CLOSE, 0, 0);
    Step(second.WaitForExit(20000) && second.ExitCode() == 0, "closed, the demo ends with exit code 0");

    std::ifstream in(std::string(report.begin(), report.end()), std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    Step(text.find("CrashHere") != std::string::npos && text.find("crash_demo.cpp") != std::string::npos,
         "the report file names the failing function and its source file");
    Step(text.find("std::runtime_error") != std::string::npos &&
             text.find("thrown on purpose.") != std::string::npos,
         "and has the C++ exception's report with its class and message");
    ::CopyFileW(report.c_str(), (artifacts + L"demo-bugreport.txt").c_str(), FALSE);
    std::printf("%s\n", Failures ? "the tour failed" : "the tour went as it should");
    return Failures ? 1 : 0;
}
