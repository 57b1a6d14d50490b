#pragma once
// The first-chance OS exception of each thread: its record and CPU context as the system
// first showed them, kept for a later dispatch that has only the record (an exception that
// a boundary caught and turned into an object, the context long gone). A fixed table, so
// that the vectored handler that fills it allocates nothing on a thread that just faulted.

#include <windows.h>

namespace crash {

void RememberFirstChance(const EXCEPTION_RECORD& record, const CONTEXT& context) noexcept;
// The calling thread's remembered context when its remembered record is `record` (the same
// code at the same address); false otherwise.
bool FirstChanceContext(const EXCEPTION_RECORD& record, CONTEXT& context) noexcept;
// Frees the calling thread's entry (when the thread ends).
void ForgetFirstChance() noexcept;

} // namespace crash
