#pragma once
// The windows of a child process as a test parent reads and drives them: its controls with
// their texts and places, buttons pressed by their commands, screenshots, and the tab
// controls and list views whose contents only the child's memory holds (read through a
// buffer in the child).

#include "base/win_handle.h"
#include "crash/core/intercept/testing/child_process.h"
#include "crash/imaging/vx_bitmap.h"

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace crash::testing {

struct TControl
{
    HWND Wnd = nullptr;
    std::wstring Class, Text;
    RECT Rect{}; // in the dialog's client coordinates
};

inline HWND FindDialog(const testing::TChild& child, HWND other = nullptr)
{
    return child.WaitForWindow(L"VexcatchWndClass", other);
}

inline std::wstring TextOf(HWND wnd)
{
    wchar_t text[4096] = {};
    ::SendMessageW(wnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
    return text;
}

inline std::vector<TControl> Controls(HWND dialog)
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

inline const TControl* Named(const std::vector<TControl>& controls, const std::wstring& text)
{
    for (const TControl& c : controls)
        if (c.Text == text)
            return &c;
    return nullptr;
}

inline const TControl* OfClass(const std::vector<TControl>& controls, const std::wstring& name)
{
    for (const TControl& c : controls)
        if (_wcsicmp(c.Class.c_str(), name.c_str()) == 0)
            return &c;
    return nullptr;
}

inline void Press(HWND dialog, const TControl& button)
{
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button.Wnd), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button.Wnd));
}

// Presses the dialog's button of that caption; false when it has none.
inline bool PressNamed(HWND dialog, const wchar_t* caption)
{
    const HWND button = ::FindWindowExW(dialog, nullptr, L"Button", caption);
    if (button)
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
    return button != nullptr;
}

// The dialog as the screen shows it, into build/win/artifacts (the test command makes PNG
// files of them for build/artifacts); `artifacts` is that folder seen from the test program.
inline void Screenshot(HWND dialog, const wchar_t* name, const wchar_t* artifacts = L"..\\..\\artifacts\\")
{
    ::Sleep(300); // painted
    RECT r;
    ::GetWindowRect(dialog, &r);
    const base::ComPtr<IVxBitmap> shot = NewVxBitmap(r.right - r.left, r.bottom - r.top);
    ASSERT_TRUE(shot);
    const base::WindowDc screen(nullptr);
    ::BitBlt(shot->DC(), 0, 0, r.right - r.left, r.bottom - r.top, screen.Get(), r.left, r.top, SRCCOPY);
    EXPECT_TRUE(shot->SaveBmp(testing::Beside(artifacts) + name));
}

// Memory in the child for the messages whose arguments point at memory.
class TRemote
{
public:
    explicit TRemote(HANDLE process)
        : FProcess(process), FBase(static_cast<uint8_t*>(::VirtualAllocEx(
                                 process, nullptr, Size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)))
    {
    }
    ~TRemote()
    {
        if (FBase)
            ::VirtualFreeEx(FProcess, FBase, 0, MEM_RELEASE);
    }
    uint8_t* At(size_t offset) const { return FBase + offset; }
    template <class T> void Write(const T& value, size_t offset = 0) const
    {
        ::WriteProcessMemory(FProcess, FBase + offset, &value, sizeof value, nullptr);
    }
    template <class T> T Read(size_t offset = 0) const
    {
        T value{};
        ::ReadProcessMemory(FProcess, FBase + offset, &value, sizeof value, nullptr);
        return value;
    }
    std::wstring Text(size_t offset) const
    {
        wchar_t text[TextChars + 1] = {};
        ::ReadProcessMemory(FProcess, FBase + offset, text, TextChars * sizeof(wchar_t), nullptr);
        return text;
    }

    static constexpr size_t TextOffset = 1024, TextChars = 1024, Size = 8192;

private:
    HANDLE FProcess;
    uint8_t* FBase;
};

// The tab names of a tab control in another process.
inline std::vector<std::wstring> TabNames(HANDLE process, HWND tabs)
{
    std::vector<std::wstring> names;
    const TRemote remote(process);
    const int count = static_cast<int>(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = reinterpret_cast<wchar_t*>(remote.At(TRemote::TextOffset));
        item.cchTextMax = TRemote::TextChars;
        remote.Write(item);
        ::SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote.At(0)));
        names.push_back(remote.Text(TRemote::TextOffset));
    }
    return names;
}

// The report's view in the tab control (beside the arrows of a tab control with many tabs).
inline HWND ViewOf(HWND tabs)
{
    for (HWND c = ::GetWindow(tabs, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        wchar_t name[64] = {};
        ::GetClassNameW(c, name, 64);
        if (_wcsicmp(name, UPDOWN_CLASSW) != 0)
            return c;
    }
    return nullptr;
}

// The report's tabs once the report is complete (up to ten seconds).
inline std::vector<std::wstring> CompleteTabs(HANDLE process, HWND tabs, size_t atLeast)
{
    std::vector<std::wstring> names;
    for (int i = 0; i < 200; ++i) {
        names = TabNames(process, tabs);
        if (names.size() >= atLeast)
            break;
        ::Sleep(50);
    }
    return names;
}

// Clicks the tab of that name, and returns the view it then shows.
inline HWND ShowTab(HANDLE process, HWND tabs, const std::wstring& name)
{
    const std::vector<std::wstring> names = TabNames(process, tabs);
    const auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end())
        return nullptr;
    const TRemote remote(process);
    ::SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(found - names.begin()),
                   reinterpret_cast<LPARAM>(remote.At(0)));
    const RECT r = remote.Read<RECT>();
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(tabs, WM_LBUTTONUP, 0, at);
    const int index = static_cast<int>(found - names.begin());
    for (int i = 0; i < 100 && ::SendMessageW(tabs, TCM_GETCURSEL, 0, 0) != index; ++i)
        ::Sleep(20);
    // The selection changes before the view is rebuilt, within the click: a message sent now
    // is answered when the click is done.
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutW(tabs, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer);
    ::Sleep(100); // painted
    return ViewOf(tabs);
}

struct TListView
{
    std::vector<std::wstring> Columns;
    std::vector<std::vector<std::wstring>> Rows;
};

// The columns and the cells of a list view in another process.
inline TListView ReadList(HANDLE process, HWND list)
{
    TListView out;
    const TRemote remote(process);
    for (int c = 0;; ++c) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = reinterpret_cast<wchar_t*>(remote.At(TRemote::TextOffset));
        column.cchTextMax = TRemote::TextChars;
        remote.Write(column);
        if (!::SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(c),
                            reinterpret_cast<LPARAM>(remote.At(0))))
            break;
        out.Columns.push_back(remote.Text(TRemote::TextOffset));
    }
    const int rows = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int r = 0; r < rows && r < 200; ++r) {
        std::vector<std::wstring> cells;
        for (size_t c = 0; c < out.Columns.size(); ++c) {
            LVITEMW item{};
            item.iSubItem = static_cast<int>(c);
            item.pszText = reinterpret_cast<wchar_t*>(remote.At(TRemote::TextOffset));
            item.cchTextMax = TRemote::TextChars;
            remote.Write(item);
            ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(r),
                           reinterpret_cast<LPARAM>(remote.At(0)));
            cells.push_back(remote.Text(TRemote::TextOffset));
        }
        out.Rows.push_back(std::move(cells));
    }
    return out;
}

// Waits until the report is complete (its header has the call stacks' checksums), with the
// first tab shown; the views are rebuilt while the report changes.
inline bool WaitComplete(HANDLE process, HWND tabs)
{
    for (int i = 0; i < 200; ++i) {
        const TListView header = ReadList(process, ViewOf(tabs));
        for (const std::vector<std::wstring>& row : header.Rows)
            if (row.size() == 2 && row[0] == L"callstack crc" && row[1].starts_with(L"$"))
                return true;
        ::Sleep(50);
    }
    return false;
}

// The screen's colour inside row `row` of a list, `x` pixels from the row's left.
inline COLORREF RowPixel(HANDLE process, HWND list, int row, int x)
{
    const TRemote remote(process);
    RECT bounds{LVIR_BOUNDS, 0, 0, 0};
    remote.Write(bounds);
    ::SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.At(0)));
    bounds = remote.Read<RECT>();
    POINT p{bounds.left + x, (bounds.top + bounds.bottom) / 2};
    ::ClientToScreen(list, &p);
    const base::WindowDc screen(nullptr);
    return ::GetPixel(screen.Get(), p.x, p.y);
}

inline bool IsListView(HWND view)
{
    wchar_t name[64] = {};
    ::GetClassNameW(view, name, 64);
    return _wcsicmp(name, WC_LISTVIEWW) == 0;
}

} // namespace crash::testing
