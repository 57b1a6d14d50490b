#include "crash/core/stack/prepared_stack.h"

#include "base/byte_reader.h"
#include "base/byte_writer.h"
#include "crash/core/stack/call_test.h"

#include <algorithm>

namespace crash {

std::vector<uint32_t> FrameChainSlots(ITraceMemory& memory, uint32_t framePointer, uint32_t stackBottom,
                                      uint32_t stackTop)
{
    // 64 bits: a frame pointer near the top of the address space must not wrap around.
    const uint64_t bottom = stackBottom, top = stackTop;
    std::vector<uint32_t> slots;
    uint64_t f = framePointer;
    if (f + 4 > bottom && f + 4 < top)
        slots.push_back(static_cast<uint32_t>(f + 4));
    // Each saved frame pointer must be higher than the one before: a chain that loops or
    // turns back ends there.
    for (uint32_t g; f + 4 < top && memory.ReadDword(static_cast<uint32_t>(f), g) && g > f;) {
        f = g;
        if (f + 4 > bottom && f + 4 <= UINT32_MAX)
            slots.push_back(static_cast<uint32_t>(f + 4));
    }
    return slots;
}

std::vector<uint8_t> PrepareStack(ITraceMemory& memory, uint32_t stackBottom, uint32_t stackTop,
                                  uint32_t framePointer, std::optional<uint32_t> stopValue)
{
    const std::vector<uint32_t> chain = FrameChainSlots(memory, framePointer, stackBottom, stackTop);
    base::TByteWriter out;
    out.U32(0);
    uint32_t count = 0;
    if (stackTop >= 4 && stackTop - 4 >= stackBottom) {
        for (uint32_t slot = stackTop - 4;; slot -= 4) {
            uint32_t v = 0;
            if (memory.ReadDword(slot, v)) {
                if (stopValue && v == *stopValue)
                    break;
                if (CallCanEndAt(memory, v)) {
                    const bool certain = std::binary_search(chain.begin(), chain.end(), slot);
                    out.U8(certain ? 1 : 0).U32(v);
                    ++count;
                    if (certain) {
                        if (slot - stackBottom < 4)
                            break;
                        slot -= 4; // the saved frame pointer below it
                    }
                }
            }
            if (slot - stackBottom < 4)
                break;
        }
    }
    out.PatchU32(0, count);
    return out.Take();
}

std::vector<TPreparedEntry> ReadPreparedStack(std::span<const uint8_t> prepared)
{
    base::TByteReader in(prepared);
    const uint32_t count = in.U32();
    std::vector<TPreparedEntry> entries;
    for (uint32_t k = 0; k < count && in.Has(5); ++k) {
        TPreparedEntry e;
        e.Certain = in.U8() != 0;
        e.Address = in.U32();
        entries.push_back(e);
    }
    return entries;
}

} // namespace crash
