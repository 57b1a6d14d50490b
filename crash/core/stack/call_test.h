#pragma once
// The tracer's cheap first test of a stack value: can a call instruction end at it? A byte
// pattern over the 8 bytes before the value, nothing more; the code analysis decides later.

#include "crash/core/x86/x86_function.h"

#include <cstdint>

namespace crash {

// True when v > 7, the 8 bytes before v can be read, and either a relative call (E8) starts
// 5 bytes before v, an indirect near or far call (FF with a ModRM byte of reg field 2 or 3)
// starts 2, 3, 4, 6 or 7 bytes before it, or a far call (9A) starts 7 bytes before it.
bool CallCanEndAt(ICodeMemory& memory, uint32_t v);

} // namespace crash
