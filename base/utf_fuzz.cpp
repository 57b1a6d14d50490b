// Fuzz target: any byte string converts, and converting back and forth is stable.
#include "base/utf.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string wide = base::Utf8ToUtf16(bytes);
    const std::string narrow = base::Utf16ToUtf8(wide);
    if (base::Utf8ToUtf16(narrow) != wide)
        std::abort();
    // The same bytes read as UTF-16 code units.
    const std::u16string units(reinterpret_cast<const char16_t*>(data), size / 2);
    const std::string encoded = base::Utf16ToUtf8(units);
    if (base::Utf16ToUtf8(base::Utf8ToUtf16(encoded)) != encoded)
        std::abort();
    return 0;
}
