#include "crash/dialogs/progress_position.h"

namespace crash {

int32_t OverallPosition(int64_t start, int64_t weight, int64_t sum, int32_t value)
{
    if (sum <= 0)
        return value;
    // The weights are the caller's; unsigned arithmetic keeps an overflowing product defined
    // (it wraps as the signed computation would on the machine).
    const uint64_t scaled =
        static_cast<uint64_t>(weight) * static_cast<uint64_t>(static_cast<int64_t>(value));
    const int64_t inArea = static_cast<int64_t>(scaled) / 1000;
    const uint64_t total = static_cast<uint64_t>(inArea + start) * 1000u;
    return static_cast<int32_t>(static_cast<int64_t>(total) / sum);
}

uint32_t BlendPixel(uint32_t pixel, uint32_t background)
{
    const uint32_t f = (pixel >> 24) + 1;
    const uint32_t redBlue = (((256 - f) * (background & 0xFF00FF) + f * (pixel & 0xFF00FF)) >> 8) & 0xFF00FF;
    const uint32_t green = (((256 - f) * (background & 0xFF00) + f * (pixel & 0xFF00)) >> 8) & 0xFF00;
    return redBlue | green;
}

} // namespace crash
