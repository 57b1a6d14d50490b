// The reporter's layers together in a program that fails (testing/reporter_child.cpp): the
// crash dialog shows, and the report ends up in the report file beside the program, complete,
// with the failing function named; the same failure again is merged into it with its count.

#include "base/win_handle.h"
#include "crash/core/intercept/testing/child_process.h"
#include "crash/ui/testing/remote_windows.h"

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
    EXPECT_TRUE(testing::PressNamed(dialog, L"continue application"));
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

// A form's OnAction "unit.procedure" names a function of the program found in its own debug
// information (case ignored), and only one with an action handler's parameters.
TEST(Reporter, AFormHandlerNamedByUnitAndProcedureComesFromTheDebugInformation)
{
    testing::TChild child(L"reporter_child.exe", "handlers");
    const testing::TOutcome outcome = child.Finish();
    EXPECT_EQ(outcome.ExitCode, 0u);
    EXPECT_EQ(outcome.Lines, std::vector<std::string>(5, "as expected"));
}

// What has the keyboard focus in the child's thread that owns `wnd`.
HWND FocusOf(HWND wnd)
{
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(wnd, nullptr), &gui);
    return gui.hwndFocus;
}

// Types as a user would: characters into the focused control; a tab or a line break is a key
// (the form's loop makes its character), and a tab's move of the focus is waited for. A form
// just shown may not have given a control the focus yet: that is waited for first.
void Type(HWND form, const std::wstring& text)
{
    for (int i = 0; i < 200 && !::IsChild(form, FocusOf(form)); ++i)
        ::Sleep(10);
    for (wchar_t c : text) {
        const HWND focus = FocusOf(form);
        if (c == L'\t' || c == L'\n') {
            ::PostMessageW(focus, WM_KEYDOWN, c == L'\t' ? VK_TAB : VK_RETURN, 0);
            for (int i = 0; i < 100 && FocusOf(form) == focus && c == L'\t'; ++i)
                ::Sleep(10);
            ::Sleep(50); // the key's character comes before the next ones
        } else {
            ::PostMessageW(focus, WM_CHAR, c, 0);
        }
    }
    ::Sleep(100);
}

std::wstring Remembered(const wchar_t* name)
{
    wchar_t value[256] = {};
    DWORD size = sizeof value;
    return ::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Tolvaris\\ContactForm", name, RRF_RT_REG_SZ, nullptr,
                          value, &size) == ERROR_SUCCESS
               ? value
               : L"<none>";
}

// How many of a window's pixels on the screen are of a kind.
int Pixels(HWND wnd, bool (*kind)(COLORREF))
{
    RECT r;
    ::GetWindowRect(wnd, &r);
    const base::WindowDc screen(nullptr);
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            count += kind(::GetPixel(screen.Get(), x, y));
    return count;
}

// Whether the window shows pixels of a kind (or, with `shown` false, none) within three
// seconds: it is painted again after the keys are processed.
bool Shows(HWND wnd, bool (*kind)(COLORREF), bool shown = true)
{
    for (int i = 0; i < 30; ++i) {
        if ((Pixels(wnd, kind) > 0) == shown)
            return true;
        ::Sleep(100);
    }
    return false;
}

bool DarkRed(COLORREF c)
{
    return GetRValue(c) >= 96 && GetGValue(c) < 48 && GetBValue(c) < 48;
}

bool DarkGreen(COLORREF c)
{
    return GetGValue(c) >= 96 && GetRValue(c) < 48 && GetBValue(c) < 48;
}

TEST(Reporter, TheSaveButtonWalksTheUserThroughTheSaveAssistantAndTheAnswersReachTheReport)
{
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Tolvaris\\ContactForm"); // nothing remembered
    testing::TChild child(L"reporter_child.exe", "");
    const HWND dialog = child.WaitForWindow(L"VexcatchWndClass");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(testing::PressNamed(dialog, L"save bug report"));

    // The contact form: continue stays disabled until the address is plausible.
    const HWND contact = child.WaitForWindow(L"DrevassaWnd");
    ASSERT_TRUE(contact);
    EXPECT_EQ(testing::TextOf(contact), L"Save Assistant");
    const HWND next = ::FindWindowExW(contact, nullptr, L"Button", L"Continue");
    ASSERT_TRUE(next);
    EXPECT_FALSE(::IsWindowEnabled(next));
    // The address is drawn dark red while it is not plausible, dark green once it is.
    const HWND email =
        ::FindWindowExW(contact, ::FindWindowExW(contact, nullptr, L"Edit", nullptr), L"Edit", nullptr);
    ASSERT_TRUE(email);
    Type(contact, L"Anna Berg\tanna@example");
    EXPECT_FALSE(::IsWindowEnabled(next));
    EXPECT_TRUE(Shows(email, DarkRed));
    EXPECT_TRUE(Shows(email, DarkGreen, false));
    Type(contact, L".com");
    EXPECT_TRUE(::IsWindowEnabled(next));
    EXPECT_TRUE(Shows(email, DarkRed, false));
    EXPECT_TRUE(Shows(email, DarkGreen));
    Type(contact, L"@"); // a second "@"
    EXPECT_FALSE(::IsWindowEnabled(next));
    EXPECT_TRUE(Shows(email, DarkRed));
    Type(contact, L"\b");
    EXPECT_TRUE(::IsWindowEnabled(next));
    testing::Screenshot(contact, L"assistant-contact.bmp", L"..\\artifacts\\");
    const HWND remember = ::FindWindowExW(contact, nullptr, L"Button", L"remember me");
    ASSERT_TRUE(remember);
    ::PostMessageW(contact, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(remember), BN_CLICKED),
                   reinterpret_cast<LPARAM>(remember));
    Type(contact, L"\t\t"); // past "remember me" to continue
    EXPECT_EQ(FocusOf(contact), next);
    Type(contact, L"\n");

    // The details form: Enter breaks the line in the memo. The contact is remembered.
    const HWND details = child.WaitForWindow(L"DrevassaWnd", contact);
    ASSERT_TRUE(details);
    EXPECT_EQ(Remembered(L"RememberName"), L"Anna Berg");
    EXPECT_EQ(Remembered(L"RememberEmail"), L"anna@example.com");
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Tolvaris\\ContactForm");
    Type(details, L"I pressed start\nand it failed");
    testing::Screenshot(details, L"assistant-details.bmp", L"..\\artifacts\\");
    Type(details, L"\t\n");

    // Then the save dialog, which the user cancels.
    const HWND save = child.WaitForWindow(L"#32770");
    ASSERT_TRUE(save);
    ::PostMessageW(save, WM_COMMAND, IDCANCEL, 0);

    // The answers are in the report, as the reopened dialog shows it.
    for (int i = 0; i < 100 && !::IsWindowEnabled(dialog); ++i)
        ::Sleep(20);
    ASSERT_TRUE(testing::PressNamed(dialog, L"show bug report"));
    const HWND shown = child.WaitForWindow(L"VexcatchWndClass", dialog);
    ASSERT_TRUE(shown);
    const std::vector<testing::TControl> controls = testing::Controls(shown);
    const testing::TControl* tabs = testing::OfClass(controls, WC_TABCONTROLW);
    ASSERT_TRUE(tabs);
    ASSERT_TRUE(testing::WaitComplete(child.Process(), tabs->Wnd));
    const testing::TListView header = testing::ReadList(child.Process(), testing::ViewOf(tabs->Wnd));
    auto has = [&](const std::wstring& name, const std::wstring& value) {
        return std::find(header.Rows.begin(), header.Rows.end(), std::vector<std::wstring>{name, value}) !=
               header.Rows.end();
    };
    EXPECT_TRUE(has(L"contact name", L"Anna Berg"));
    EXPECT_TRUE(has(L"contact email", L"anna@example.com"));
    // The two lines of the details, a section of their own.
    const HWND section = testing::ShowTab(child.Process(), tabs->Wnd, L"error details");
    ASSERT_TRUE(section);
    std::vector<std::wstring> cells;
    for (const std::vector<std::wstring>& row : testing::ReadList(child.Process(), section).Rows)
        cells.insert(cells.end(), row.begin(), row.end());
    EXPECT_NE(std::find(cells.begin(), cells.end(), L"I pressed start"), cells.end());
    EXPECT_NE(std::find(cells.begin(), cells.end(), L"and it failed"), cells.end());
    ::PostMessageW(shown, WM_CLOSE, 0, 0);
    const testing::TOutcome o = child.Finish();
    EXPECT_EQ(o.ExitCode, 0u);
    EXPECT_EQ(o.Lines, (std::vector<std::string>{"save after the assistant", "went on"}));
}

// The stand-in editor as the shell's "edit" verb for .bmp files while the test runs (the
// classes root, which the shell reads; the previous association comes back afterwards).
class TEditorRegistration
{
public:
    TEditorRegistration()
    {
        wchar_t old[256] = {};
        DWORD size = sizeof old;
        FHadOld = ::RegGetValueW(HKEY_CLASSES_ROOT, L".bmp", nullptr, RRF_RT_REG_SZ, nullptr, old, &size) ==
                  ERROR_SUCCESS;
        FOld = old;
        Set(L".bmp", L"LumigateTestPicture");
        Set(L"LumigateTestPicture\\shell\\edit\\command",
            L"\"" + testing::Beside(L"stand_in_editor.exe") + L"\" \"%1\"");
    }
    ~TEditorRegistration()
    {
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"LumigateTestPicture");
        if (FHadOld)
            Set(L".bmp", FOld);
    }

private:
    static void Set(const wchar_t* key, const std::wstring& value)
    {
        ::RegSetKeyValueW(HKEY_CLASSES_ROOT, key, nullptr, REG_SZ, value.c_str(),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    bool FHadOld = false;
    std::wstring FOld;
};

COLORREF ScreenPixel(HWND wnd, POINT p)
{
    ::ClientToScreen(wnd, &p);
    const base::WindowDc screen(nullptr);
    return ::GetPixel(screen.Get(), p.x, p.y);
}

TEST(Reporter, TheScreenshotFormShowsTheScreenshotAndTakesBackWhatTheEditorMadeOfIt)
{
    const TEditorRegistration editor;
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Tolvaris\\ContactForm");
    testing::TChild child(L"reporter_child.exe", "send");
    const HWND dialog = child.WaitForWindow(L"VexcatchWndClass");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(testing::PressNamed(dialog, L"send bug report"));

    const HWND contact = child.WaitForWindow(L"DrevassaWnd");
    ASSERT_TRUE(contact);
    EXPECT_EQ(testing::TextOf(contact), L"Send Assistant");
    Type(contact, L"Anna\tanna@example.com\t\t\n");
    const HWND details = child.WaitForWindow(L"DrevassaWnd", contact);
    ASSERT_TRUE(details);
    Type(details, L"it failed\t\n");
    const HWND shot = child.WaitForWindow(L"DrevassaWnd", details);
    ASSERT_TRUE(shot);

    // The image sits 12 pixels below the check box; a click opens the editor, whose red
    // comes back into the form.
    const HWND attach = ::FindWindowExW(shot, nullptr, L"Button", L"attach a screenshot to the bug report");
    ASSERT_TRUE(attach);
    RECT check;
    ::GetWindowRect(attach, &check);
    ::MapWindowPoints(nullptr, shot, reinterpret_cast<POINT*>(&check), 2);
    const POINT inImage{21 + 20, check.bottom + 12 + 20};
    ::Sleep(300);
    EXPECT_FALSE(GetRValue(ScreenPixel(shot, inImage)) > 240 && GetGValue(ScreenPixel(shot, inImage)) < 16);
    ::PostMessageW(shot, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(inImage.x, inImage.y));
    ::PostMessageW(shot, WM_LBUTTONUP, 0, MAKELPARAM(inImage.x, inImage.y));
    auto red = [](COLORREF c) {
        return GetRValue(c) > 240 && GetGValue(c) < 16 && GetBValue(c) < 16;
    }; // zoomed
    COLORREF seen = 0;
    for (int i = 0; i < 100 && !red(seen = ScreenPixel(shot, inImage)); ++i)
        ::Sleep(100);
    EXPECT_TRUE(red(seen)) << std::hex << seen;
    testing::Screenshot(shot, L"assistant-screenshot.bmp", L"..\\artifacts\\");
    // The screenshot is left out of the sending.
    ::PostMessageW(shot, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(attach), BN_CLICKED),
                   reinterpret_cast<LPARAM>(attach));

    // Continue has the focus; the edited file goes away with the form.
    Type(shot, L"\n");
    for (int i = 0; i < 100 && ::IsWindow(shot); ++i)
        ::Sleep(20);
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    EXPECT_EQ(::GetFileAttributesW((std::wstring(temp) + L"screenShot.bmp").c_str()),
              INVALID_FILE_ATTRIBUTES);

    for (int i = 0; i < 100 && !::IsWindowEnabled(dialog); ++i)
        ::Sleep(20);
    ASSERT_TRUE(testing::PressNamed(dialog, L"continue application"));
    // Not remembering the contact left no registry key behind either.
    HKEY contactKey = nullptr;
    EXPECT_NE(
        ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tolvaris\\ContactForm", 0, KEY_READ, &contactKey),
        ERROR_SUCCESS);
    const base::RegistryKey opened(contactKey);
    // The contact form's answer is the sender; the unchecked screenshot stays behind.
    const testing::TOutcome o = child.Finish();
    EXPECT_EQ(o.ExitCode, 0u);
    EXPECT_EQ(o.Lines,
              (std::vector<std::string>{"send from Anna <anna@example.com> screenshot no", "went on"}));
}

TEST(Reporter, RememberedContactsFillTheFormAndEscapeCancelsTheAssistant)
{
    for (const auto& [name, value] :
         {std::pair{L"RememberName", L"Bo"}, std::pair{L"RememberEmail", L"bo@example.org"}})
        ::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Tolvaris\\ContactForm", name, REG_SZ, value,
                          static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    testing::TChild child(L"reporter_child.exe", "");
    const HWND dialog = child.WaitForWindow(L"VexcatchWndClass");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(testing::PressNamed(dialog, L"save bug report"));

    // Filled from the registry, the focus on Continue.
    const HWND contact = child.WaitForWindow(L"DrevassaWnd");
    ASSERT_TRUE(contact);
    const HWND name = ::FindWindowExW(contact, nullptr, L"Edit", nullptr);
    ASSERT_TRUE(name);
    EXPECT_EQ(testing::TextOf(name), L"Bo");
    EXPECT_EQ(testing::TextOf(::FindWindowExW(contact, name, L"Edit", nullptr)), L"bo@example.org");
    const HWND next = ::FindWindowExW(contact, nullptr, L"Button", L"Continue");
    EXPECT_EQ(FocusOf(contact), next);
    // "remember me" taken back: Continue forgets both values.
    const HWND remember = ::FindWindowExW(contact, nullptr, L"Button", L"remember me");
    ASSERT_TRUE(remember);
    ::PostMessageW(contact, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(remember), BN_CLICKED),
                   reinterpret_cast<LPARAM>(remember));
    ::PostMessageW(contact, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(next), BN_CLICKED),
                   reinterpret_cast<LPARAM>(next));

    // Escape on the next form ends the assistant: nothing is saved, the dialog is back.
    const HWND details = child.WaitForWindow(L"DrevassaWnd", contact);
    ASSERT_TRUE(details);
    EXPECT_EQ(Remembered(L"RememberName"), L"<none>");
    EXPECT_EQ(Remembered(L"RememberEmail"), L"<none>");
    ::PostMessageW(FocusOf(details), WM_KEYDOWN, VK_ESCAPE, 0);
    for (int i = 0; i < 100 && !::IsWindowEnabled(dialog); ++i)
        ::Sleep(20);
    EXPECT_TRUE(::IsWindowEnabled(dialog));
    EXPECT_FALSE(::IsWindow(details));
    ASSERT_TRUE(testing::PressNamed(dialog, L"continue application"));
    const testing::TOutcome o = child.Finish();
    EXPECT_EQ(o.ExitCode, 0u);
    EXPECT_EQ(o.Lines, std::vector<std::string>{"went on"}); // nothing saved
}

} // namespace
} // namespace crash
