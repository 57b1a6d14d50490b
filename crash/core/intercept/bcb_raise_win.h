#pragma once
// The raise-time state of a C++Builder runtime's exceptions. That runtime's throw routine
// allocates the copy of the thrown object through the runtime's malloc: that one call is
// re-pointed, and the allocation captures the raise (the thrower's context and address, the
// stack from there up) as the throws of this program's own runtime do. Each thread keeps its
// newest such raise until its next one, its end, or a dispatch that takes it: a dispatch of
// that exception (its record names the thrown object) or of the runtime's abnormal
// termination (which follows the exception nothing caught).

#include "crash/core/intercept/patches_win.h"
#include "crash/core/intercept/raise_stack_info.h"

#include <windows.h>

namespace crash {

// The code a C++Builder runtime raises its exceptions with.
constexpr DWORD BcbExceptionCode = 0x0EEDFAE6;

// Re-points the call to `malloc` inside the runtime's `throwRoutine`; false when the
// routine makes no such call that can be re-pointed.
bool HookBcbThrow(TPatches& patches, void* throwRoutine, void* malloc);

// Takes the calling thread's newest C++Builder raise out, with its prepared stack, when it
// raised `object` (null: whatever it raised); null otherwise. Freed with FreeRaiseStackInfo.
TRaiseStackInfo* TakeBcbRaise(const void* object) noexcept;
// Frees the calling thread's raise (when the thread ends).
void ForgetBcbRaise() noexcept;

} // namespace crash
