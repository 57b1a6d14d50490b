#include "base/hex.h"

#include <algorithm>

namespace base {

std::string HexDigits(uint64_t value, int width)
{
    static constexpr char Hex[] = "0123456789abcdef";
    char buffer[16];
    int count = 0;
    do {
        buffer[15 - count++] = Hex[value & 0xF];
        value >>= 4;
    } while (value != 0);
    const int padding = width > count ? std::min(width, 16) - count : 0;
    return std::string(static_cast<size_t>(padding), '0') + std::string(buffer + 16 - count, buffer + 16);
}

std::string HexText(uint64_t value, int width)
{
    return "$" + HexDigits(value, width);
}

std::string AddressText(uint32_t value)
{
    return HexDigits(value, 8);
}

} // namespace base
