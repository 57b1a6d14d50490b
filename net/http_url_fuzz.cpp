// Fuzz target: ParseURL takes any text; host and path are pieces of the input.
#include "net/http_url.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view url(reinterpret_cast<const char*>(data), size);
    const net::TParsedURL parsed = net::ParseURL(url);
    if (parsed.Host.size() + parsed.Object.size() > size)
        std::abort();
    if (url.find(parsed.Object) == std::string_view::npos)
        std::abort();
    return 0;
}
