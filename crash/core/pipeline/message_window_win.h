#pragma once
// The hidden message windows of the pipeline: each thread that needs one gets a message-only
// window of its own, named "QuorvelMsgHandlerWindow" followed by the thread id and the window
// routine's address (both "$" hexadecimal). Handlers are attached per message; asking for
// message 0 allocates the lowest number from WM_USER (1024) upward that the window has not
// given out. The main thread's window carries the handlers' synchronized calls and the wake-up
// of a paused main thread.

#include <windows.h>

namespace crash {

using TMessageHandler = LRESULT (*)(void* data, WPARAM wParam, LPARAM lParam);

// Attaches `handler` for `message` (0: a newly allocated number) to the calling thread's
// window, which is created on the first call; the message number, or 0 when the window
// cannot be made.
UINT AttachMessageHandler(UINT message, TMessageHandler handler, void* data);
// Takes the handler of `message` off the window of `threadId` (from any thread).
void DetachMessageHandler(DWORD threadId, UINT message);
// The window of a thread, or null when it has none (or it is gone).
HWND MessageWindowOf(DWORD threadId);
// Destroys the calling thread's window and forgets its handlers.
void DestroyMessageWindow();

} // namespace crash
