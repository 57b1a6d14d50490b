#include "controls/marquee/marquee_motion.h"

#include <algorithm>
#include <cmath>

namespace marquee {

TMarqueeMeasures MeasureMarquee(int clientWidth, int clientHeight, const TBulletLayout& b,
                                float stretchFactor)
{
    TMarqueeMeasures m;
    const double n = b.Count;
    m.Total = static_cast<float>(n * b.Width + n * b.Spacing - 1);
    m.Zone = static_cast<float>(static_cast<double>(m.Total) * stretchFactor);
    m.X0 = static_cast<float>(((clientWidth - 1.0) - m.Zone) / 2);
    m.Y = static_cast<float>(((clientHeight - 1.0) - b.Height) / 2);
    return m;
}

std::optional<float> TickPosition(float position, float step, float factor)
{
    const double p = position;
    const double target = p + step;
    const double d = std::fabs(p - target) / factor;
    if (target - 0.01 < p && p < target + 0.01)
        return std::nullopt;
    const double move = std::max(0.01, d);
    return static_cast<float>(p < target ? p + move : p - move);
}

float WrapPosition(float value, int clientWidth, float total)
{
    if (value > clientWidth / 2.0 + total / 2.0)
        return static_cast<float>(-clientWidth / 2.0 - total / 2.0);
    return value;
}

TRectF BulletRect(const TMarqueeMeasures& m, float position, int clientWidth, const TBulletLayout& b,
                  int index)
{
    const double p = position, x0 = m.X0, zoneEnd = x0 + m.Zone;
    const double spread = clientWidth != 0 ? p / clientWidth : 0;
    double x = x0 + p + index * static_cast<double>(b.Width + b.Spacing);
    if (x < x0)
        x += std::fabs(x - x0) * spread * (b.Count - index);
    else if (x > zoneEnd)
        x += std::fabs(x - zoneEnd) * spread * (index + 1);
    return {static_cast<float>(x), m.Y, static_cast<float>(b.Width), static_cast<float>(b.Height)};
}

} // namespace marquee
