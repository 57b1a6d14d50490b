#pragma once
// Hidden message-only windows: the carriers of timers and of the wake-ups for synchronized
// calls. Each class name is registered once, with its window procedure, on first use.

#include "base/win_handle.h"

namespace framework {

// A message-only window of the calling thread whose messages go to `proc`; `data` is
// stored as the window's user data (GWLP_USERDATA).
base::Window CreateMessageWindow(const wchar_t* className, WNDPROC proc, void* data = nullptr);

} // namespace framework
