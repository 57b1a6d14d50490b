#pragma once
// The quick pass that runs when an exception is raised: the stack's candidate return
// addresses recorded as a byte string, so that a trace made later (when the stack has long
// changed) uses exactly these entries. Also the frame-pointer chain both passes rely on.
//
// The byte string: a 32-bit entry count, then 5 bytes per entry in the order the stack was
// walked (from its top, the outermost frames first): a certain flag (the slot is on the
// frame-pointer chain) and the address.

#include "crash/core/stack/trace_memory.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace crash {

// The stack slots on the frame-pointer chain from `framePointer`, in increasing order: each
// frame's return address slot (the frame pointer + 4) that lies between the stack bottom and
// top, following saved frame pointers while they grow and can be read.
std::vector<uint32_t> FrameChainSlots(ITraceMemory& memory, uint32_t framePointer, uint32_t stackBottom,
                                      uint32_t stackTop);

// Walks the slots from just below `stackTop` down to `stackBottom`; stops at a slot that
// holds `stopValue` (when given); records each value v > 7 at which a call can end, with the
// certain flag of a frame-chain slot, and then skips the slot below a certain entry (the
// saved frame pointer).
std::vector<uint8_t> PrepareStack(ITraceMemory& memory, uint32_t stackBottom, uint32_t stackTop,
                                  uint32_t framePointer, std::optional<uint32_t> stopValue = std::nullopt);

struct TPreparedEntry
{
    bool Certain = false;
    uint32_t Address = 0;
};

// The entries of a prepared stack; a string cut short gives the entries that are whole.
std::vector<TPreparedEntry> ReadPreparedStack(std::span<const uint8_t> prepared);

} // namespace crash
