#pragma once
// What the first raise of an exception object leaves behind for a later report: the raising
// thread, the raise address, the CPU context at the raise and the stack prepared then (the
// frames that the catch will have overwritten by the time the exception is reported). 240
// bytes in the layout other modules of the process read.

#include <cstdint>
#include <cstring>

namespace crash {

struct TRaiseStackInfo
{
    char Magic[8]; // "vexCtch4" reversed
    uint32_t ThreadId;
    uint8_t Captured; // the context and address below are set
    uint8_t Padding[3];
    uint32_t Address;
    uint8_t Context[204];   // the 32-bit x86 CONTEXT without its extended registers
    uint32_t PreparedStack; // pointer to the prepared stack's byte string, or 0
    uint32_t PreparedStackLength;
    // This program's own: the stack from the throw up, copied at the throw (cheap), from
    // which the prepared stack is made when the exception is reported.
    uint32_t StackCopy;
    uint32_t StackCopyLength;
};
static_assert(sizeof(TRaiseStackInfo) == 240, "other modules read the block in this layout");

constexpr char RaiseStackInfoMagic[8] = {'4', 'h', 'c', 't', 'C', 'x', 'e', 'v'};

// Whether a block read from memory carries the magic (a damaged one is treated as absent).
inline bool HasRaiseStackInfoMagic(const TRaiseStackInfo& info)
{
    return std::memcmp(info.Magic, RaiseStackInfoMagic, sizeof info.Magic) == 0;
}

} // namespace crash
