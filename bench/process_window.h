#pragma once
// The Windows benchmarks' view of a program they started: its visible top-level window of a
// class, as the user would see it.

#include <windows.h>

#include <cwchar>

namespace bench {

struct TWindowSearch
{
    DWORD Pid;
    const wchar_t* Class;
    HWND Found;
};

inline BOOL CALLBACK MatchWindow(HWND wnd, LPARAM param)
{
    auto* search = reinterpret_cast<TWindowSearch*>(param);
    DWORD owner = 0;
    wchar_t name[64] = {};
    ::GetWindowThreadProcessId(wnd, &owner);
    if (owner != search->Pid || !::IsWindowVisible(wnd) || !::GetClassNameW(wnd, name, 64) ||
        std::wcscmp(name, search->Class) != 0)
        return TRUE;
    search->Found = wnd;
    return FALSE;
}

// The visible top-level window of class `className` of process `pid`; null when it has none.
inline HWND VisibleWindow(DWORD pid, const wchar_t* className)
{
    TWindowSearch search{pid, className, nullptr};
    ::EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

} // namespace bench
