#include "controls/marquee/marquee_motion.h"

#include <gtest/gtest.h>

#include <cmath>

namespace marquee {
namespace {

constexpr float Stretch = 1.7f;

TEST(MarqueeMotion, TheDownloadWindowsMeasures)
{
    const TMarqueeMeasures m = MeasureMarquee(445, 417, TBulletLayout{}, Stretch);
    EXPECT_EQ(m.Total, 77.0f);
    EXPECT_NEAR(m.Zone, 130.9, 1e-4);
    EXPECT_NEAR(m.X0, 156.55, 1e-4);
    EXPECT_EQ(m.Y, 203.0f);
}

TEST(MarqueeMotion, OneTickMovesATenthOfThreeAndAPassTakesAbout157Ticks)
{
    const auto first = TickPosition(0, 10, 3);
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, static_cast<float>(10.0 / 3));

    // From the left end, tick until the row wraps: it leaves just above 261 and comes back
    // at -261.
    float p = -261;
    int ticks = 0;
    float before = p;
    for (;; ++ticks) {
        before = p;
        p = WrapPosition(*TickPosition(p, 10, 3), 445, 77);
        if (p < before)
            break;
    }
    EXPECT_GT(before, 257.0f);
    EXPECT_LE(before, 261.0f);
    EXPECT_EQ(p, -261.0f);
    EXPECT_EQ(ticks + 1, 157);

    EXPECT_EQ(WrapPosition(261.0f, 445, 77), 261.0f);
    EXPECT_EQ(WrapPosition(261.001f, 445, 77), -261.0f);
    // A row moving left is never brought back.
    EXPECT_EQ(WrapPosition(-5000.0f, 445, 77), -5000.0f);
}

TEST(MarqueeMotion, StepsBelowOneHundredthNeverMoveAndNegativeStepsMoveLeft)
{
    EXPECT_FALSE(TickPosition(12.5f, 0, 3));
    EXPECT_FALSE(TickPosition(12.5f, 0.0099f, 3));
    EXPECT_FALSE(TickPosition(12.5f, -0.0099f, 3));
    // A large factor makes the step small, but never below 0.01.
    const auto slow = TickPosition(0, 1, 1000);
    ASSERT_TRUE(slow);
    EXPECT_FLOAT_EQ(*slow, 0.01f);
    const auto left = TickPosition(0, -10, 3);
    ASSERT_TRUE(left);
    EXPECT_FLOAT_EQ(*left, -10.0f / 3);
}

TEST(MarqueeMotion, BulletsSpreadAwayFromTheZoneAndNotInsideIt)
{
    const TBulletLayout b;
    const TMarqueeMeasures m = MeasureMarquee(445, 417, b, Stretch);
    // At position 0 the first bullet lies exactly on the zone's left edge: not displaced.
    for (int i = 0; i < b.Count; ++i) {
        const TRectF r = BulletRect(m, 0, 445, b, i);
        EXPECT_FLOAT_EQ(r.X, m.X0 + i * 13.0f) << i;
        EXPECT_EQ(r.Y, 203.0f);
        EXPECT_EQ(r.Width, 10.0f);
        EXPECT_EQ(r.Height, 10.0f);
    }

    // Entering from the left: every bullet is pushed further left, the trailing ones most.
    const float p = -200;
    double previousPush = 1e9;
    for (int i = 0; i < b.Count; ++i) {
        const double plain = static_cast<double>(m.X0) + p + i * 13;
        const double expected = plain + std::fabs(plain - m.X0) * (p / 445.0) * (b.Count - i);
        const TRectF r = BulletRect(m, p, 445, b, i);
        EXPECT_FLOAT_EQ(r.X, static_cast<float>(expected)) << i;
        EXPECT_LT(r.X, plain);
        const double push = plain - r.X;
        EXPECT_LT(push, previousPush) << i;
        previousPush = push;
    }

    // Leaving at the right: pushed further right, the leading ones most.
    const float q = 200;
    previousPush = -1;
    for (int i = 0; i < b.Count; ++i) {
        const double plain = static_cast<double>(m.X0) + q + i * 13;
        const double zoneEnd = static_cast<double>(m.X0) + m.Zone;
        const double expected = plain + std::fabs(plain - zoneEnd) * (q / 445.0) * (i + 1);
        const TRectF r = BulletRect(m, q, 445, b, i);
        EXPECT_FLOAT_EQ(r.X, static_cast<float>(expected)) << i;
        const double push = r.X - plain;
        EXPECT_GT(push, previousPush) << i;
        previousPush = push;
    }
}

TEST(MarqueeMotion, AControlWithoutWidthPlacesBulletsWithoutSpreading)
{
    const TBulletLayout b;
    const TMarqueeMeasures m = MeasureMarquee(0, 20, b, Stretch);
    const TRectF r = BulletRect(m, -50, 0, b, 0);
    EXPECT_TRUE(std::isfinite(r.X));
    EXPECT_FLOAT_EQ(r.X, m.X0 - 50);
}

} // namespace
} // namespace marquee
