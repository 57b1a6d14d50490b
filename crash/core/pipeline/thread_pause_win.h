#pragma once
// Pausing the program's threads while an exception is handled, cooperatively: a paused thread
// waits the next time it retrieves a message (GetMessage and PeekMessage, whose imports are
// hooked at start-up: a message loop that runs already may hold the function's address in a
// register, and would not see a later hook), so it never stops while holding a lock the
// pipeline needs. The
// threads paused are those that a module carrying the reporter created (the thread registry
// knows the creating code; such a module has the "VEX" resource "EXCEPT"), except the calling
// thread and one more given, and the main thread, which is woken through its message window
// to reach the wait. A paused thread keeps its last error code.

#include <windows.h>

namespace crash {

// Hooks the message retrieval (at start-up).
void PrepareThreadPausing();
// Pauses the threads; `excluded` (0: none) is left running too.
void PauseThreads(DWORD excluded);
void ResumeThreads();
// Lets a paused main thread run (for a synchronized call): true when it was paused.
bool ReleaseMainThread();
// Pauses the main thread again after ReleaseMainThread.
void PauseMainThreadAgain();
// Takes the message hooks out (at shutdown), after resuming every thread.
void StopThreadPausing();

} // namespace crash
