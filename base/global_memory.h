#pragma once
// Movable global memory, the form the clipboard and COM streams take bytes in.

#include "base/win_handle.h"

#include <cstdint>
#include <span>
#include <vector>

namespace base {

// A new movable block holding a copy of `bytes`; empty when it could not be made.
GlobalMemory GlobalCopy(std::span<const uint8_t> bytes);

// A copy of the bytes of a global block (empty when it cannot be locked).
std::vector<uint8_t> GlobalBytes(HGLOBAL memory);

} // namespace base
