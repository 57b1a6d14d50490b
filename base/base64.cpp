#include "base/base64.h"

namespace base {

std::string Base64(std::span<const uint8_t> bytes)
{
    static constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve(Base64Length(bytes.size()));
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        for (const int shift : {18, 12, 6, 0})
            out.push_back(Alphabet[(v >> shift) & 63]);
    }
    if (const size_t rest = bytes.size() - i) {
        const uint32_t v = (uint32_t{bytes[i]} << 16) | (rest == 2 ? uint32_t{bytes[i + 1]} << 8 : 0);
        out.push_back(Alphabet[(v >> 18) & 63]);
        out.push_back(Alphabet[(v >> 12) & 63]);
        out.push_back(rest == 2 ? Alphabet[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

std::string Base64(std::string_view bytes)
{
    return Base64(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

} // namespace base
