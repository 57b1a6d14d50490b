#pragma once
// Window classes of this program, each registered once (with its window procedure) on first
// use and kept until the process ends, and hidden message-only windows (timers, wake-ups
// for synchronized calls, clipboard owners). Both the framework and the crash reporter's
// own windows use them, so they do not depend on the framework.

#include "base/win_handle.h"

namespace base {

// The class `wc` describes, registered on the first call for its name (later calls with the
// same name return it as it is); its name.
LPCWSTR RegisteredClass(const WNDCLASSEXW& wc);
// The class `name` with `proc`; visible classes get the arrow cursor, the application icon
// and double clicks.
LPCWSTR RegisteredClass(const wchar_t* name, WNDPROC proc, bool visible);

// A message-only window of the calling thread whose messages go to `proc`; `data` is
// stored as the window's user data (GWLP_USERDATA).
Window CreateMessageWindow(const wchar_t* className, WNDPROC proc, void* data = nullptr);

} // namespace base
