#pragma once
// A double-clicked line of a call stack, sent to the development environment when it runs:
// its add-in (a hidden window of the class "QuorvelMsgHandlerWindow" and the id of the thread
// that owns the environment's main window, "TAppBuilder") opens the source at that line. The
// line goes as UTF-8 in a buffer of this process (at least 260 bytes, NUL-padded) that the
// add-in reads; nothing comes back.

#include <string>

namespace crash {

void JumpToStackLine(const std::u16string& line);

} // namespace crash
