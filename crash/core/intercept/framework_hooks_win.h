#pragma once
// The framework's exception boundary (window procedures, timers, synchronized calls) hands
// every exception it catches to framework::HandleException. Its entry is patched to hand the
// exception to DispatchException instead: a synchronized call's (the sender is the thread)
// with esTThreadSynchronize, reported on the main thread and not handed back to the thread;
// every other with esApplicationHandleException. An exception escaping a framework thread's
// Execute reaches framework::ThreadFailed, patched the same way: esTThreadExecute, on that
// thread. framework::ThreadStarting, patched too, tells the thread registry each framework
// thread's class. TApplication::ShowException, called by a program itself, hands over with
// esApplicationShowException. The exception object of the hand-off is the std::exception_ptr, alive on the
// catching thread while it waits.

#include "crash/core/intercept/patches_win.h"

namespace crash {

bool InstallFrameworkHooks(TPatches& patches);
// Runs the synchronized calls that framework threads wait for (while the main thread waits
// for the pipeline).
void CheckFrameworkSynchronize();

} // namespace crash
