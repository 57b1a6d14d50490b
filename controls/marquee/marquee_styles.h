#pragma once
// The marquee's 24 colour styles: the fill's colours and border, and the bullets' colour
// and border, for each style number.

#include "controls/marquee/fill_types.h"

namespace marquee {

struct TMarqueeStyle
{
    const char* Name;
    TFillColor Color, ColorTo, ColorMirror, ColorMirrorTo, BorderColor;
    TFillColor BulletColor, BulletBorderColor;
};

// Style `number`; numbers outside 0 to 23 give nothing.
const TMarqueeStyle* MarqueeStyle(int number);

} // namespace marquee
