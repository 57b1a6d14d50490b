#pragma once
// Finds the call instruction that a routine of this process makes to a given routine, by
// walking it instruction by instruction with the code analysis: the place where a hook
// re-points one call instead of patching the routine itself.

#include <cstdint>
#include <initializer_list>
#include <optional>

namespace crash {

struct TCallSite
{
    uint8_t* Instruction = nullptr; // the call
    bool Relative = false;          // E8 rel32; else FF 15 through the cell below
    uint32_t* Cell = nullptr;       // the memory cell of an indirect call
    const void* Target = nullptr;   // which of the targets it calls
};

// The first call in the routine at `entry` to one of `targets`. Jumps through memory cells
// (import thunks, hot-patch stubs) are followed; the walk ends at a return, an unknown
// instruction or after `limit` instructions. Code is read through the guarded reader.
std::optional<TCallSite> FindCall(const void* entry, std::initializer_list<const void*> targets,
                                  int limit = 200);

} // namespace crash
