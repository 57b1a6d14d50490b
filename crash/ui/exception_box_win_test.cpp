// The crash dialog read back from its real windows in a failing program (testing/box_child.cpp):
// the layout of this program's full box, the simple box, the countdown that ends the program,
// and the report in tabs.

#include "crash/core/intercept/testing/child_process.h"
#include "crash/ui/testing/remote_windows.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace crash {
namespace {

using namespace testing;

constexpr int FirstButtonId = 100;

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
    ::PostMessageW(dialog, WM_KEYDOWN, VK_F1, 0); // the program's help, through its action handler
    Press(dialog, *cont);
    const testing::TOutcome outcome = child.Finish();
    EXPECT_EQ(outcome.ExitCode, 0u);
    EXPECT_EQ(outcome.Lines, (std::vector<std::string>{"help", "went on"}));
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
    const std::vector<TControl> controls = Controls(dialog);
    const TControl* close = Named(controls, L"close application");
    ASSERT_TRUE(close);
    EXPECT_EQ(LOWORD(::SendMessageW(dialog, DM_GETDEFID, 0, 0)), FirstButtonId + 6);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &gui);
    EXPECT_EQ(gui.hwndFocus, close->Wnd);
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
    const std::vector<TControl> firstControls = Controls(first);
    const TControl* show = Named(firstControls, L"show bug report");
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
    const std::vector<std::wstring> names = CompleteTabs(child.Process(), tabs->Wnd, 8); // general to disasm
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(names[0], L"general");
    EXPECT_EQ(names[1], L"call stacks"); // three threads
    EXPECT_NE(std::find(names.begin(), names.end(), L"modules"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), L"cpu regs"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), L"disasm"), names.end());
    // The first tab lists the header.
    const HWND view = ViewOf(tabs->Wnd);
    ASSERT_TRUE(view && IsListView(view));
    const TListView header = ReadList(child.Process(), view);
    EXPECT_EQ(header.Columns, (std::vector<std::wstring>{L"description", L"value"}));
    EXPECT_NE(std::find(header.Rows.begin(), header.Rows.end(),
                        std::vector<std::wstring>{L"exception number", L"1"}),
              header.Rows.end());
    Screenshot(dialog, L"crash-dialog-report.bmp");
    // This program's close box continues.
    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    const testing::TOutcome outcome = child.Finish();
    EXPECT_EQ(outcome.ExitCode, 0u);
    EXPECT_EQ(outcome.Lines, std::vector<std::string>{"went on"});
}

TEST(ExceptionBox, TheReportsTabsListTheirColumnsInTheirColours)
{
    testing::TChild child(L"box_child.exe", "shown");
    const HWND dialog = FindDialog(child);
    ASSERT_TRUE(dialog);
    const std::vector<TControl> controls = Controls(dialog);
    const TControl* tabs = OfClass(controls, WC_TABCONTROLW);
    ASSERT_TRUE(tabs);
    ASSERT_TRUE(WaitComplete(child.Process(), tabs->Wnd));

    // The call stacks: three threads in titled blocks, the failing function with its unit.
    HWND view = ShowTab(child.Process(), tabs->Wnd, L"call stacks");
    ASSERT_TRUE(view && IsListView(view));
    const TListView stacks = ReadList(child.Process(), view);
    EXPECT_EQ(stacks.Columns, (std::vector<std::wstring>{L"address", L"rel.", L"module", L"unit", L"line",
                                                         L"rel.", L"function"}));
    int titles = 0, failing = -1, title = -1;
    for (size_t r = 0; r < stacks.Rows.size(); ++r) {
        const std::vector<std::wstring>& cells = stacks.Rows[r];
        if (cells[0].starts_with(L">> ") && (r == 0 || stacks.Rows[r - 1][0].empty())) {
            ++titles;
            title = static_cast<int>(r);
        }
        if (cells[6].find(L"FailOnThread") != std::wstring::npos && failing < 0) {
            failing = static_cast<int>(r);
            EXPECT_EQ(cells[2], L"box_child.exe");
            EXPECT_EQ(cells[3], L"box_child.cpp");
            EXPECT_EQ(cells[0].size(), 8u);
            EXPECT_TRUE(cells[5].starts_with(L"+"));
        }
    }
    EXPECT_EQ(titles, 3);
    ASSERT_GE(failing, 0);
    // Columns alternate light blue, white and light red; titles are white across.
    const int first = static_cast<int>(::SendMessageW(view, LVM_GETCOLUMNWIDTH, 0, 0));
    const int second = static_cast<int>(::SendMessageW(view, LVM_GETCOLUMNWIDTH, 1, 0));
    EXPECT_EQ(RowPixel(child.Process(), view, failing, 2), RGB(240, 248, 255));
    EXPECT_EQ(RowPixel(child.Process(), view, failing, first + 2), RGB(255, 255, 255));
    EXPECT_EQ(RowPixel(child.Process(), view, failing, first + second + 2), RGB(255, 244, 244));
    EXPECT_EQ(RowPixel(child.Process(), view, title, 2), RGB(255, 255, 255));
    Screenshot(dialog, L"crash-dialog-call-stacks.bmp");

    // The disassembly marks the failing line.
    view = ShowTab(child.Process(), tabs->Wnd, L"disasm");
    ASSERT_TRUE(view && IsListView(view));
    const TListView disasm = ReadList(child.Process(), view);
    ASSERT_GE(disasm.Columns.size(), 3u);
    EXPECT_EQ(disasm.Columns.front(), L"address");
    EXPECT_EQ(disasm.Columns.back(), L"comments");
    int marked = 0;
    for (int r = 0; r < static_cast<int>(disasm.Rows.size()); ++r) {
        ::SendMessageW(view, LVM_ENSUREVISIBLE, static_cast<WPARAM>(r), FALSE);
        ::Sleep(20);
        marked += RowPixel(child.Process(), view, r, 2) == RGB(255, 208, 208);
    }
    EXPECT_EQ(marked, 1);

    view = ShowTab(child.Process(), tabs->Wnd, L"modules");
    ASSERT_TRUE(view && IsListView(view));
    const TListView modules = ReadList(child.Process(), view);
    EXPECT_EQ(modules.Columns, (std::vector<std::wstring>{L"handle", L"file name", L"version", L"path"}));
    EXPECT_NE(std::find_if(modules.Rows.begin(), modules.Rows.end(),
                           [](const std::vector<std::wstring>& r) { return r[1] == L"box_child.exe"; }),
              modules.Rows.end());

    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    const testing::TOutcome outcome = child.Finish();
    EXPECT_EQ(outcome.ExitCode, 0u);
}

TEST(ExceptionBox, HardTextsAreShownWithoutCrashOrHang)
{
    testing::TChild child(L"box_child.exe", "bad");
    const HWND dialog = FindDialog(child);
    ASSERT_TRUE(dialog);
    const std::vector<TControl> controls = Controls(dialog);
    const TControl* tabs = OfClass(controls, WC_TABCONTROLW);
    ASSERT_TRUE(tabs);
    ASSERT_TRUE(WaitComplete(child.Process(), tabs->Wnd));
    const std::vector<std::wstring> names = TabNames(child.Process(), tabs->Wnd);
    for (const wchar_t* name : {L"long line", L"many lines", L"no columns", L"fake stack"}) {
        SCOPED_TRACE(name);
        ASSERT_NE(std::find(names.begin(), names.end(), name), names.end());
        const HWND view = ShowTab(child.Process(), tabs->Wnd, name);
        ASSERT_TRUE(view);
        DWORD_PTR answer = 0;
        EXPECT_TRUE(::SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer));
    }
    // The 10,000 lines are all there, in their two columns; the long line is raw text.
    HWND view = ShowTab(child.Process(), tabs->Wnd, L"many lines");
    ASSERT_TRUE(IsListView(view));
    EXPECT_EQ(::SendMessageW(view, LVM_GETITEMCOUNT, 0, 0), 10000);
    EXPECT_EQ(ReadList(child.Process(), view).Rows[3], (std::vector<std::wstring>{L"row ---", L"cell"}));
    view = ShowTab(child.Process(), tabs->Wnd, L"long line");
    EXPECT_FALSE(IsListView(view));
    EXPECT_EQ(::SendMessageW(view, WM_GETTEXTLENGTH, 0, 0), 200000 + 14);
    view = ShowTab(child.Process(), tabs->Wnd, L"fake stack");
    ASSERT_TRUE(IsListView(view));
    EXPECT_EQ(ReadList(child.Process(), view).Rows[1][0], L"DEADBEEF"); // addresses are upper-case

    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(child.Finish().ExitCode, 0u);
}

// Nothing but the main thread's answer closes the dialog of a freeze: the main thread stays
// silent until the dialog shows, and nobody presses its buttons.
TEST(ExceptionBox, AFreezesDialogClosesByItselfWhenTheMainThreadAnswersAgain)
{
    testing::TChild child(L"box_child.exe", "frozen");
    const HWND dialog = FindDialog(child);
    ASSERT_TRUE(dialog);
    bool saysFrozen = false;
    for (const TControl& control : Controls(dialog))
        saysFrozen = saysFrozen || control.Text.find(L"frozen") != std::wstring::npos;
    EXPECT_TRUE(saysFrozen);
    const testing::TOutcome outcome = child.Finish();
    EXPECT_EQ(outcome.ExitCode, 0u);
    EXPECT_EQ(outcome.Lines, (std::vector<std::string>{"dialog closed", "went on"}));
}

TEST(ExceptionBox, MovingTheFocusStopsTheCountdownAndResizingKeepsTheWaysOutAtTheRight)
{
    testing::TChild child(L"box_child.exe", "countdown");
    const HWND dialog = FindDialog(child);
    ASSERT_TRUE(dialog);
    ::PostMessageW(dialog, WM_KEYDOWN, VK_TAB, 0); // the focus moves on: the countdown stops
    ::Sleep(3000);
    ASSERT_TRUE(::IsWindow(dialog)); // two seconds have passed
    const std::vector<TControl> controls = Controls(dialog);
    const TControl* show = Named(controls, L"show bug report");
    ASSERT_TRUE(show);
    Press(dialog, *show);
    const HWND shown = FindDialog(child, dialog);
    ASSERT_TRUE(shown);
    std::vector<TControl> before = Controls(shown);
    RECT window;
    ::GetWindowRect(shown, &window);
    ::SetWindowPos(shown, nullptr, 0, 0, window.right - window.left + 100, window.bottom - window.top + 50,
                   SWP_NOMOVE | SWP_NOZORDER);
    ::Sleep(200);
    const std::vector<TControl> after = Controls(shown);
    for (const wchar_t* name : {L"continue application", L"restart application", L"close application"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(Named(before, name) && Named(after, name));
        EXPECT_EQ(Named(after, name)->Rect.left, Named(before, name)->Rect.left + 100);
    }
    EXPECT_EQ(Named(after, L"save bug report")->Rect.left, Named(before, L"save bug report")->Rect.left);
    const TControl* tabsBefore = OfClass(before, WC_TABCONTROLW);
    const TControl* tabsAfter = OfClass(after, WC_TABCONTROLW);
    ASSERT_TRUE(tabsBefore && tabsAfter);
    EXPECT_EQ(tabsAfter->Rect.right - tabsBefore->Rect.right, 100);
    EXPECT_EQ(tabsAfter->Rect.bottom - tabsBefore->Rect.bottom, 50);
    Press(shown, *Named(after, L"continue application"));
    const testing::TOutcome outcome = child.Finish();
    EXPECT_EQ(outcome.ExitCode, 0u);
    EXPECT_EQ(outcome.Lines, std::vector<std::string>{"went on"});
}

TEST(ExceptionBox, EnterPressesTheFocusedButton)
{
    testing::TChild child(L"box_child.exe", "full");
    const HWND dialog = FindDialog(child);
    ASSERT_TRUE(dialog);
    ::PostMessageW(dialog, WM_KEYDOWN, VK_TAB, 0); // from "save bug report" to "show bug report"
    ::PostMessageW(dialog, WM_KEYDOWN, VK_RETURN, 0);
    const HWND shown = FindDialog(child, dialog); // reopened with the report
    ASSERT_TRUE(shown);
    ::PostMessageW(shown, WM_CLOSE, 0, 0);
    EXPECT_EQ(child.Finish().ExitCode, 0u);
}

} // namespace
} // namespace crash
