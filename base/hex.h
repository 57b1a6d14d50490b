#pragma once
// Hexadecimal texts as the crash reporter writes them: "$" followed by lowercase digits,
// zero-padded to a requested width; addresses are 8 digits without the "$".

#include <cstdint>
#include <string>

namespace base {

// At least `width` lowercase hexadecimal digits of `value` (more when needed).
std::string HexDigits(uint64_t value, int width = 0);
// "$" + at least `width` lowercase hexadecimal digits of `value` (more when needed).
std::string HexText(uint64_t value, int width = 0);
// The 8 lowercase digits of a 32-bit address or register value, without "$".
std::string AddressText(uint32_t value);

} // namespace base
