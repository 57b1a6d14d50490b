#pragma once
// Base64 with the standard alphabet and "=" padding, without line breaks: how mail parts,
// form fields and tracker requests carry bytes. An encoder that takes its input in pieces
// whose sizes are multiples of 3 gives the same text as one that takes it whole.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace base {

std::string Base64(std::span<const uint8_t> bytes);
std::string Base64(std::string_view bytes);
// The length of the Base64 text of `size` bytes.
constexpr uint64_t Base64Length(uint64_t size)
{
    return (size + 2) / 3 * 4;
}

} // namespace base
