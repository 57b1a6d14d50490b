// Fuzz target: the property-stream reader takes any bytes; what it reads it writes back as
// a stream that reads again with the same structure (texts may differ where malformed UTF-8
// was replaced or a short text had to be cut).
#include "base/property_stream.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const base::TStreamReadResult r = base::ReadPropertyStream({data, size});
    if (r.Status == base::TStreamStatus::Ok) {
        const std::vector<uint8_t> again = base::WritePropertyStream(r.Root);
        const base::TStreamReadResult reread = base::ReadPropertyStream(again);
        if (reread.Status != base::TStreamStatus::Ok ||
            reread.Root.Properties.size() != r.Root.Properties.size() ||
            reread.Root.Children.size() != r.Root.Children.size())
            std::abort();
    }
    return 0;
}
