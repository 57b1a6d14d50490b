#include "controls/marquee/hex_text.h"

#include <cstdlib>
#include <string_view>

// Any text either decodes to exactly half its length in bytes, which encode back to the same digits
// in upper case, or is refused.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto bytes = marquee::DecodeHex(text);
    if (!bytes)
        return 0;
    if (bytes->size() * 2 != size)
        std::abort();
    const std::string again = marquee::HexUpper(*bytes);
    for (size_t i = 0; i < again.size(); ++i)
        if (again[i] != (text[i] >= 'a' ? text[i] - 32 : text[i]))
            std::abort();
    return 0;
}
