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

// The stack as it was at the fault: its newest bytes from the context's Esp up; and, of a
// stack that overflowed (deeper than the copy by definition), also its outermost bytes up
// to the stack's top, where the calls that started the runaway recursion are.
struct TFirstChanceStack
{
    std::vector<uint8_t> Newest;
    std::vector<uint8_t> Outermost;
    uint32_t Top = 0; // the stack's top, where Outermost ends (0 without Outermost)
};

void RememberFirstChance(const EXCEPTION_RECORD& record, const CONTEXT& context) noexcept;
// The calling thread's remembered context when its remembered record is `record` (the same
// code at the same address), and in `stack` (when given) the stack as it was; false
// otherwise.
bool FirstChanceContext(const EXCEPTION_RECORD& record, CONTEXT& context,
                        TFirstChanceStack* stack = nullptr) noexcept;
// Frees the calling thread's entry (when the thread ends).
void ForgetFirstChance() noexcept;

} // namespace crash
