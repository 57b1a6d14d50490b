#pragma once
// Little-endian integers from bytes, for the readers of file and stream formats. The caller
// has checked that the bytes are there.

#include <cstddef>
#include <cstdint>
#include <span>

namespace base {

inline uint16_t ReadLe16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t ReadLe32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}

inline uint16_t ReadLe16(std::span<const uint8_t> bytes, size_t at)
{
    return ReadLe16(bytes.data() + at);
}

inline uint32_t ReadLe32(std::span<const uint8_t> bytes, size_t at)
{
    return ReadLe32(bytes.data() + at);
}

} // namespace base
