#pragma once
// The marquee's animation arithmetic, apart from drawing: the measures of the bullet row,
// one tick of the animation, the position's wrap and the placement of each bullet. Values
// are computed in double precision and stored in single precision, as the control stores
// them.

#include "controls/marquee/fill_types.h"

#include <optional>

namespace marquee {

struct TBulletLayout
{
    int Count = 6, Width = 10, Height = 10, Spacing = 3;
};

struct TMarqueeMeasures
{
    float Total = 0; // the row's width: n spacings, not n - 1
    float Zone = 0;  // width of the middle zone in which the row moves as a tight group
    float X0 = 0;    // left edge of the middle zone
    float Y = 0;     // top of every bullet
};

TMarqueeMeasures MeasureMarquee(int clientWidth, int clientHeight, const TBulletLayout& bullets,
                                float stretchFactor);

// The position after one tick (before the wrap), or nothing when the step is too small to
// move the row (it then stays and nothing is repainted).
std::optional<float> TickPosition(float position, float step, float factor);

// The position as the setter stores it: a row past the right end starts again at the left.
float WrapPosition(float value, int clientWidth, float total);

// The rectangle of bullet `index` at `position`: spread apart outside the middle zone,
// the more the farther the row is from the middle.
TRectF BulletRect(const TMarqueeMeasures& m, float position, int clientWidth, const TBulletLayout& bullets,
                  int index);

} // namespace marquee
