#pragma once
// The guarded memory reader: reads foreign memory (another thread's stack, code of any
// module) and reports failure instead of faulting. A reading session takes a snapshot of
// the address space so that each read is a table lookup; without one, each read asks the
// system about its region.

#include "base/read_areas.h"

#include <cstddef>
#include <vector>

namespace base {

class TGuardedReadSession
{
public:
    // Walks the address space (VirtualQuery) into areas of equal readability.
    TGuardedReadSession();
    const std::vector<TTryRead>& Areas() const noexcept { return FAreas; }

private:
    std::vector<TTryRead> FAreas;
};

// Copies count bytes from source to destination when the whole range lies in one readable
// or execute-only area (execute-only memory is made readable for the copy when needed).
bool GuardedRead(const void* source, void* destination, size_t count,
                 const TGuardedReadSession* session = nullptr);

} // namespace base
