#include "crash/core/pipeline/recent_exceptions.h"

#include <algorithm>

namespace crash {

void TRecentExceptions::Add(uint64_t now) noexcept
{
    std::move_backward(FTimes.begin(), FTimes.end() - 1, FTimes.end());
    FTimes[0] = now;
}

bool TRecentExceptions::Says(uint32_t setting, uint64_t now) const noexcept
{
    if (setting <= 1)
        return setting == 1;
    // A time after `now` (the clock was set back) counts as new.
    return std::all_of(FTimes.begin(), FTimes.end(),
                       [&](uint64_t t) { return t != 0 && (t >= now || now - t <= setting); });
}

TRecentExceptions::TBytes TRecentExceptions::Bytes() const noexcept
{
    TBytes bytes{};
    for (size_t k = 0; k < Count; ++k)
        for (size_t b = 0; b < 8; ++b)
            bytes[8 * k + b] = static_cast<uint8_t>(FTimes[k] >> (8 * b));
    return bytes;
}

TRecentExceptions TRecentExceptions::FromBytes(const TBytes& bytes) noexcept
{
    TRecentExceptions ring;
    for (size_t k = 0; k < Count; ++k)
        for (size_t b = 0; b < 8; ++b)
            ring.FTimes[k] |= static_cast<uint64_t>(bytes[8 * k + b]) << (8 * b);
    return ring;
}

} // namespace crash
