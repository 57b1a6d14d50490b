#include "controls/marquee/hex_text.h"

namespace marquee {
namespace {

int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::string HexUpper(std::span<const uint8_t> bytes)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        text += Digits[b >> 4];
        text += Digits[b & 15];
    }
    return text;
}

std::optional<std::vector<uint8_t>> DecodeHex(std::string_view text)
{
    if (text.size() % 2)
        return std::nullopt;
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = DigitValue(text[i]), low = DigitValue(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return bytes;
}

} // namespace marquee
