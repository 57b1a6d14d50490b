#pragma once
// The first-chance OS exception of each thread: its record, CPU context and the top of its
// stack as the system first showed them, kept for a later dispatch (an exception that a
// boundary caught and turned into an object has only its record left, and its catch has
// overwritten the frames between the fault and itself). A fixed table, so that the vectored
// handler that fills it allocates nothing on a thread that just faulted.

#include <windows.h>

#include <cstdint>
#include <vector>

namespace crash {

void RememberFirstChance(const EXCEPTION_RECORD& record, const CONTEXT& context) noexcept;
// The calling thread's remembered context when its remembered record is `record` (the same
// code at the same address), and in `stack` (when given) the stack's bytes from the
// context's Esp up as they were; false otherwise.
bool FirstChanceContext(const EXCEPTION_RECORD& record, CONTEXT& context,
                        std::vector<uint8_t>* stack = nullptr) noexcept;
// Frees the calling thread's entry (when the thread ends).
void ForgetFirstChance() noexcept;

} // namespace crash
