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
// The bytes of `text` (digits of either case); nothing when a character is not a
// hexadecimal digit or a last digit has no partner (a cut text is damaged, not shorter).
std::optional<std::vector<uint8_t>> DecodeHex(std::string_view text);

} // namespace marquee
