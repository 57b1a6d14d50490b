#pragma once
// Bytes as text of two hexadecimal digits each, as the shape fill saves its pictures in a
// configuration file.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marquee {

// Two upper-case digits per byte.
std::string HexUpper(std::span<const uint8_t> bytes);
// The bytes of `text` (digits of either case); nothing when a character of a pair is not
// a hexadecimal digit. A single digit left over at the end is ignored.
std::optional<std::vector<uint8_t>> DecodeHex(std::string_view text);

} // namespace marquee
