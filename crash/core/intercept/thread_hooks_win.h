#pragma once
// Every thread the program starts through CreateThread, _beginthreadex or QueueUserWorkItem
// runs its function inside a wrapper: an exception that escapes the function (an OS
// exception, seen with its CPU context before anything is unwound, or a C++ exception) is
// handed over with esThreadFrame, and the thread ends with 0xFFFFFFFF while the program goes
// on. The three functions are patched in the import tables of every loaded module.

#include "crash/core/intercept/patches_win.h"

namespace crash {

bool InstallThreadHooks(TPatches& patches);

} // namespace crash
