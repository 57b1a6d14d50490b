#include "crash/core/intercept/call_finder_win.h"

#include "base/guarded_reader.h"
#include "crash/core/x86/x86_decoder.h"

#include <algorithm>
#include <cstring>

namespace crash {

std::optional<TCallSite> FindCall(const void* entry, std::initializer_list<const void*> targets, int limit)
{
    auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(entry));
    const auto known = [&](uint32_t target) -> const void* {
        for (const void* t : targets)
            if (target && reinterpret_cast<uintptr_t>(t) == target)
                return t;
        return nullptr;
    };
    for (int k = 0; k < limit; ++k) {
        uint8_t code[16];
        if (!base::GuardedRead(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), code,
                               sizeof code))
            return std::nullopt;
        const InstructionInfo i = DecodeInstruction(code, address);
        if (!i.Valid || i.Opcode == 0xC3 || i.Opcode == 0xC2)
            return std::nullopt;
        uint32_t target = i.Target;
        if (i.TargetMemory &&
            !base::GuardedRead(reinterpret_cast<const void*>(static_cast<uintptr_t>(i.TargetMemory)), &target,
                               4))
            target = 0;
        if (i.Call) {
            if (const void* t = known(target)) {
                TCallSite site;
                site.Instruction = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(address));
                site.Relative = i.RelTarget;
                site.Cell = i.TargetMemory
                                ? reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(i.TargetMemory))
                                : nullptr;
                site.Target = t;
                return site.Relative || site.Cell ? std::optional(site) : std::nullopt;
            }
        } else if (i.Jump && i.TargetMemory && !i.RelTarget && target) {
            address = target; // a jump through a cell: the routine goes on there
            continue;
        }
        address = i.Next;
    }
    return std::nullopt;
}

} // namespace crash
