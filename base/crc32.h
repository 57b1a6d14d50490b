#pragma once
// CRC-32 of the zip and PNG formats (reflected polynomial 0xEDB88320).

#include <cstddef>
#include <cstdint>

namespace base {

// Continues a CRC over `size` more bytes; start with crc 0.
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);

} // namespace base
