// Fuzz target: the property-stream reader takes any bytes; what it reads it writes back as
// a stream that reads again with the same structure (texts may differ where malformed UTF-8
// was replaced or a short text had to be cut).
#include "framework/property_stream.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const framework::TStreamReadResult r = framework::ReadPropertyStream({data, size});
    if (r.Status == framework::TStreamStatus::Ok) {
        const std::vector<uint8_t> again = framework::WritePropertyStream(r.Root);
        const framework::TStreamReadResult reread = framework::ReadPropertyStream(again);
        if (reread.Status != framework::TStreamStatus::Ok ||
            reread.Root.Properties.size() != r.Root.Properties.size() ||
            reread.Root.Children.size() != r.Root.Children.size())
            std::abort();
    }
    return 0;
}
