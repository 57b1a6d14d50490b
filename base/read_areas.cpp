#include "base/read_areas.h"

#include <algorithm>

namespace base {

TReadClass ReadClass(bool committed, uint32_t protect)
{
    constexpr uint32_t Guard = 0x100;
    if (!committed || !(protect & 0x7E) || (protect & Guard))
        return rcNotReadable;
    return (protect & 0x6E) ? rcReadable : rcExecuteOnly;
}

void AddRegion(std::vector<TTryRead>& areas, uintptr_t begin, uintptr_t size, TReadClass readClass)
{
    if (size == 0)
        return;
    const uintptr_t last = begin + (size - 1);
    if (!areas.empty() && areas.back().Flags == readClass && areas.back().AreaEnd + 1 == begin)
        areas.back().AreaEnd = last;
    else
        areas.push_back({begin, last, readClass});
}

const TTryRead* AreaOf(const std::vector<TTryRead>& areas, uintptr_t address, uintptr_t count)
{
    if (count == 0 || address + (count - 1) < address)
        return nullptr;
    const uintptr_t last = address + (count - 1);
    auto it = std::upper_bound(areas.begin(), areas.end(), address,
                               [](uintptr_t a, const TTryRead& area) { return a < area.AreaBegin; });
    if (it == areas.begin())
        return nullptr;
    --it;
    return address >= it->AreaBegin && last <= it->AreaEnd ? &*it : nullptr;
}

} // namespace base
