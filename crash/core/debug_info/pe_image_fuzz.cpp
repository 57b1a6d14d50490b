#include "crash/core/debug_info/debug_sources.h"
#include "crash/core/debug_info/pe_image.h"

#include <cstdint>

// Any bytes as a PE file and as a mapped image: headers, ranges, exports, the debug
// directory, the TD32 data it points to and the file's checksum.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (bool mapped : {false, true}) {
        const auto image = crash::TPeImage::Parse({data, size}, mapped);
        if (!image)
            continue;
        (void)image->Ranges(0x400000);
        (void)image->Exports();
        (void)image->DebugEntries();
        (void)crash::PeFileChecksum({data, size}, image->CheckSumOffset);
        if (mapped)
            (void)crash::Td32OfMappedImage(*image);
    }
    (void)crash::Td32OfFile({data, size});
    return 0;
}
