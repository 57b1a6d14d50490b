#pragma once
// The arithmetic of the progress alert: the overall bar position from the position within
// the current area, and the blend of the alert's image onto the button-face colour.

#include <cstdint>

namespace crash {

// ((weight * value) div 1000 + start) * 1000 div sum in signed 64-bit arithmetic with
// truncating division; the value itself when sum is not above 0. Not clamped.
int32_t OverallPosition(int64_t start, int64_t weight, int64_t sum, int32_t value);

// A 0xAARRGGBB pixel blended onto the 0x00RRGGBB background with f = A + 1; the result's
// alpha byte is 0.
uint32_t BlendPixel(uint32_t pixel, uint32_t background);

} // namespace crash
