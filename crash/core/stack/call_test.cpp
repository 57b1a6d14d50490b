#include "crash/core/stack/call_test.h"

#include <array>

namespace crash {

bool CallCanEndAt(ICodeMemory& memory, uint32_t v)
{
    std::array<uint8_t, 8> before;
    if (v <= 7 || !memory.Read(v - 8, before.data(), before.size()))
        return false;
    // before[8 - k] is the byte k bytes before v.
    const auto at = [&](int k) { return before[static_cast<size_t>(8 - k)]; };
    if (at(5) == 0xE8 || at(7) == 0x9A)
        return true;
    for (int k : {2, 3, 4, 6, 7})
        if (at(k) == 0xFF && (at(k - 1) & 0x30) == 0x10)
            return true;
    return false;
}

} // namespace crash
