#include "base/rc4.h"

#include <array>
#include <utility>

namespace base {

void Rc4(std::span<uint8_t> bytes, std::string_view key)
{
    if (key.empty())
        return;
    std::array<uint8_t, 256> s;
    for (int i = 0; i < 256; ++i)
        s[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    for (size_t i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + static_cast<uint8_t>(key[i % key.size()])) & 0xFF;
        std::swap(s[i], s[j]);
    }
    size_t i = 0, j = 0;
    for (uint8_t& c : bytes) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        c = static_cast<uint8_t>(c ^ s[(s[i] + s[j]) & 0xFF]);
    }
}

} // namespace base
