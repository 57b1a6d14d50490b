#pragma once
// The framework's window classes, each registered once (with its window procedure) on first
// use and kept until the process ends, and the hidden message-only windows that carry
// timers and the wake-ups for synchronized calls.

#include "base/win_handle.h"

namespace framework {

// The class `name` with `proc`; visible classes get the arrow cursor, the application icon
// and double clicks.
LPCWSTR FrameworkClass(const wchar_t* name, WNDPROC proc, bool visible);

// A message-only window of the calling thread whose messages go to `proc`; `data` is
// stored as the window's user data (GWLP_USERDATA).
base::Window CreateMessageWindow(const wchar_t* className, WNDPROC proc, void* data = nullptr);

} // namespace framework
