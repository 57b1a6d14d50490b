// The crash dialog read back from its real windows in a failing program (testing/box_child.cpp):
// the layout of this program's full box, the simple box, the countdown that ends the program,
// and the report in tabs.

#include "base/win_handle.h"
#include "crash/core/intercept/testing/child_process.h"
#include "crash/imaging/vx_bitmap.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace crash {
namespace {

constexpr int FirstButtonId = 100;

struct TControl
{
    HWND Wnd = nullptr;
    std::wstring Class, Text;
    RECT Rect{}; // in the dialog's client coordinates
};

HWND FindDialog(const testing::TChild& child, HWND other = nullptr)
{
    return child.WaitForWindow(L"VexcatchWndClass", other);
}

std::wstring TextOf(HWND wnd)
{
    wchar_t text[4096] = {};
    ::SendMessageW(wnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
    return text;
}

std::vector<TControl> Controls(HWND dialog)
{
    std::vector<TControl> out;
    for (HWND c = ::GetWindow(dialog, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        TControl control;
        control.Wnd = c;
        wchar_t name[64] = {};
        ::GetClassNameW(c, name, 64);
        control.Class = name;
        control.Text = TextOf(c);
        ::GetWindowRect(c, &control.Rect);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&control.Rect), 2);
        out.push_back(control);
    }
    return out;
}

const TControl* Named(const std::vector<TControl>& controls, const std::wstring& text)
{
    for (const TControl& c : controls)
        if (c.Text == text)
            return &c;
    return nullptr;
}

const TControl* OfClass(const std::vector<TControl>& controls, const std::wstring& name)
{
    for (const TControl& c : controls)
        if (_wcsicmp(c.Class.c_str(), name.c_str()) == 0)
            return &c;
    return nullptr;
}

void Press(HWND dialog, const TControl& button)
{
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button.Wnd), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button.Wnd));
}

// The dialog as the screen shows it, into build/win/artifacts (the test command makes PNG
// files of them for build/artifacts).
void Screenshot(HWND dialog, const wchar_t* name)
{
    ::Sleep(300); // painted
    RECT r;
    ::GetWindowRect(dialog, &r);
    const base::ComPtr<IVxBitmap> shot = NewVxBitmap(r.right - r.left, r.bottom - r.top);
    ASSERT_TRUE(shot);
    const base::WindowDc screen(nullptr);
    ::BitBlt(shot->DC(), 0, 0, r.right - r.left, r.bottom - r.top, screen.Get(), r.left, r.top, SRCCOPY);
    EXPECT_TRUE(shot->SaveBmp(testing::Beside(L"..\\..\\artifacts\\") + name));
}

// The tab names of a tab control in another process.
std::vector<std::wstring> TabNames(HANDLE process, HWND tabs)
{
    std::vector<std::wstring> names;
    const int count = static_cast<int>(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
    auto* remote = static_cast<uint8_t*>(
        ::VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!remote)
        return names;
    for (int i = 0; i < count; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = reinterpret_cast<wchar_t*>(remote + 512);
        item.cchTextMax = 256;
        ::WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
        ::SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote));
        wchar_t text[256] = {};
        ::ReadProcessMemory(process, remote + 512, text, sizeof text - 2, nullptr);
        names.emplace_back(text);
    }
    ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return names;
}

TEST(ExceptionBox, ThisProgramsFullBoxStacksItsWaysOutBesideTheMessageAndFocusesSave)
{
    testing::TChild child(L"box_child.exe", "full");
    const HWND dialog = FindDialog(child);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(TextOf(dialog), L"box_child.exe"); // TitleBar "%appname%"
    EXPECT_TRUE(::GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
    const std::vector<TControl> controls = Controls(dialog);
    const TControl* save = Named(controls, L"save bug report");
    const TControl* show = Named(controls, L"show bug report");
    const TControl* cont = Named(controls, L"continue application");
    const TControl* restart = Named(controls, L"restart application");
    const TControl* close = Named(controls, L"close application");
    ASSERT_TRUE(save && show && cont && restart && close);
    EXPECT_FALSE(Named(controls, L"send bug report"));
    EXPECT_FALSE(Named(controls, L"print bug report"));
    // The right column: one width, rows 26 apart, the first beside the message.
    const TControl* message = Named(controls, L"An error occurred in the application.");
    ASSERT_TRUE(message);
    EXPECT_EQ(cont->Rect.left, restart->Rect.left);
    EXPECT_EQ(cont->Rect.left, close->Rect.left);
    EXPECT_EQ(cont->Rect.right, close->Rect.right);
    EXPECT_EQ(restart->Rect.top - cont->Rect.top, 26);
    EXPECT_EQ(close->Rect.top - restart->Rect.top, 26);
    EXPECT_LT(cont->Rect.top, message->Rect.bottom);
    EXPECT_LT(message->Rect.right, cont->Rect.left);
    RECT client;
    ::GetClientRect(dialog, &client);
    EXPECT_EQ(client.right - cont->Rect.right, 12);
    // save and show at the bottom left.
    EXPECT_EQ(save->Rect.left, 6);
    EXPECT_EQ(save->Rect.top, close->Rect.top);
    EXPECT_EQ(show->Rect.top, close->Rect.top);
    EXPECT_EQ(show->Rect.left, save->Rect.right + 4);
    EXPECT_EQ(save->Rect.bottom - save->Rect.top, 22);
    // The icon, and save as the default button with the focus.
    const TControl* icon = OfClass(controls, L"Button");
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->Rect.left, 9);
    EXPECT_EQ(icon->Rect.right - icon->Rect.left, 32);
    EXPECT_EQ(LOWORD(::SendMessageW(dialog, DM_GETDEFID, 0, 0)), FirstButtonId + 1);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &gui);
    EXPECT_EQ(gui.hwndFocus, save->Wnd);

    Screenshot(dialog, L"crash-dialog.bmp");
    Press(dialog, *cont);
    const testing::TOutcome outcome = child.Finish();
    EXPECT_EQ(outcome.ExitCode, 0u);
    EXPECT_EQ(outcome.Lines, std::vector<std::string>{"went on"});
}

TEST(ExceptionBox, SimpleBoxShowsTheBrokenMessageUnderTheProgramsNameWithOneCentredOk)
{
    testing::TChild child(L"box_child.exe", "simple");
    const HWND dialog = FindDialog(child);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(TextOf(dialog), L"box_child");
    const std::vector<TControl> controls = Controls(dialog);
    EXPECT_TRUE(Named(controls, L"The file could not be read.\r\nIt may be in use by another program.\r\n"
                                L"Close it and try again."));
    const TControl* ok = Named(controls, L"&OK");
    ASSERT_TRUE(ok);
    EXPECT_GE(ok->Rect.right - ok->Rect.left, 75);
    RECT client;
    ::GetClientRect(dialog, &client);
    EXPECT_LE(std::abs((client.right - ok->Rect.right) - ok->Rect.left), 8);
    int buttons = 0;
    for (const TControl& c : controls)
        buttons += c.Class == L"Button";
    EXPECT_EQ(buttons, 1 + 1); // OK and the icon
    Screenshot(dialog, L"crash-dialog-simple.bmp");
    // Its close box continues the program.
    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    const testing::TOutcome outcome = child.Finish();
    EXPECT_EQ(outcome.ExitCode, 0u);
    EXPECT_EQ(outcome.Lines, std::vector<std::string>{"went on"});
}

TEST(ExceptionBox, TheCountdownOnTheCloseButtonEndsTheProgram)
{
    testing::TChild child(L"box_child.exe", "autoclose");
    const HWND dialog = FindDialog(child);
    ASSERT_TRUE(dialog);
    const TControl* close = Named(Controls(dialog), L"close application");
    ASSERT_TRUE(close);
    EXPECT_EQ(LOWORD(::SendMessageW(dialog, DM_GETDEFID, 0, 0)), FirstButtonId + 6);
    const testing::TOutcome outcome = child.Finish();
    EXPECT_EQ(outcome.ExitCode, 0xE0004321u);
    EXPECT_TRUE(outcome.Lines.empty());
}

TEST(ExceptionBox, ShowBugReportReopensTheBoxWiderWithTheReportInTabs)
{
    testing::TChild child(L"box_child.exe", "full");
    const HWND first = FindDialog(child);
    ASSERT_TRUE(first);
    RECT small;
    ::GetWindowRect(first, &small);
    const TControl* show = Named(Controls(first), L"show bug report");
    ASSERT_TRUE(show);
    Press(first, *show);
    const HWND dialog = FindDialog(child, first);
    ASSERT_TRUE(dialog);
    RECT large;
    ::GetWindowRect(dialog, &large);
    EXPECT_GT(large.right - large.left, small.right - small.left);
    EXPECT_GT(large.bottom - large.top, small.bottom - small.top + 400);
    EXPECT_TRUE(::GetWindowLongW(dialog, GWL_STYLE) & WS_THICKFRAME);
    const std::vector<TControl> controls = Controls(dialog);
    EXPECT_FALSE(Named(controls, L"show bug report"));
    const TControl* tabs = OfClass(controls, WC_TABCONTROLW);
    ASSERT_TRUE(tabs);
    // The report completes on its own thread; the tabs follow it.
    std::vector<std::wstring> names;
    for (int i = 0; i < 200; ++i) {
        names = TabNames(child.Process(), tabs->Wnd);
        if (names.size() >= 8) // general to disasm
            break;
        ::Sleep(50);
    }
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(names[0], L"general");
    EXPECT_EQ(names[1], L"call stacks"); // three threads
    EXPECT_NE(std::find(names.begin(), names.end(), L"modules"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), L"cpu regs"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), L"disasm"), names.end());
    // The first tab shows the header.
    const HWND view = ::GetWindow(tabs->Wnd, GW_CHILD);
    ASSERT_TRUE(view);
    EXPECT_NE(TextOf(view).find(L"exception number\t1"), std::wstring::npos);
    Screenshot(dialog, L"crash-dialog-report.bmp");
    // This program's close box continues.
    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    const testing::TOutcome outcome = child.Finish();
    EXPECT_EQ(outcome.ExitCode, 0u);
    EXPECT_EQ(outcome.Lines, std::vector<std::string>{"went on"});
}

} // namespace
} // namespace crash
