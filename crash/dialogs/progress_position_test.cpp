#include "crash/dialogs/progress_position.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

TEST(ProgressPosition, OverallPositionFromAreasOfDifferentWeights)
{
    // Three areas of weight 100, the middle one current, half done.
    EXPECT_EQ(OverallPosition(100, 100, 300, 500), 500);
    // Weights 100, 300, 600: the end of each area.
    EXPECT_EQ(OverallPosition(0, 100, 1000, 1000), 100);
    EXPECT_EQ(OverallPosition(100, 300, 1000, 1000), 400);
    EXPECT_EQ(OverallPosition(400, 600, 1000, 500), 700);
    // Truncating division at both steps.
    EXPECT_EQ(OverallPosition(0, 7, 21, 999), 285); // (6993 div 1000 = 6) * 1000 div 21
    // Not clamped: a position above 1000 runs past the area.
    EXPECT_EQ(OverallPosition(0, 100, 200, 2000), 1000);
    // No weights at all: the raw position.
    EXPECT_EQ(OverallPosition(0, 0, 0, 640), 640);
    EXPECT_EQ(OverallPosition(0, 0, 0, -5), -5);
    // Large weights don't overflow 64 bits here.
    EXPECT_EQ(OverallPosition(int64_t{1} << 40, int64_t{1} << 40, int64_t{1} << 41, 1000), 1000);
}

TEST(ProgressPosition, BlendPixel)
{
    EXPECT_EQ(BlendPixel(0xFF123456, 0x00C0C0C0), 0x00123456u); // opaque
    EXPECT_EQ(BlendPixel(0x00123456, 0x00C0C0C0), 0x00BFBFBFu); // f = 1: almost the background
    EXPECT_EQ(BlendPixel(0x7FFFFFFF, 0x00000000), 0x007F7F7Fu); // half
}

} // namespace
} // namespace crash
