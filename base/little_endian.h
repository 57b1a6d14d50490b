#pragma once
// Little-endian integers at an offset of some bytes, for the random-access readers of
// headers and tables: the bounded byte reader's reads at an offset, so an integer that does
// not lie wholly inside the bytes reads as 0. Callers check sizes where a 0 could be taken
// for data.

#include "base/byte_reader.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace base {

inline uint16_t ReadLe16(std::span<const uint8_t> bytes, size_t at)
{
    return TByteReader(bytes).U16At(at);
}

inline uint32_t ReadLe32(std::span<const uint8_t> bytes, size_t at)
{
    return TByteReader(bytes).U32At(at);
}

} // namespace base
