// Fuzz target: the text form parser takes any text; what it accepts formats to a text that
// parses to the same objects.
#include "tools/property_text.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const tools::TTextParseResult parsed =
        tools::ParsePropertyText({reinterpret_cast<const char*>(data), size});
    if (parsed.Ok) {
        const tools::TTextParseResult again =
            tools::ParsePropertyText(tools::FormatPropertyText(parsed.Root));
        if (!again.Ok || !(again.Root == parsed.Root))
            std::abort();
    }
    return 0;
}
