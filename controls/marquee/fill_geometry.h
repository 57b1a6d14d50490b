#pragma once
// The geometry of the shape fill, apart from drawing: the mirror split, the rectangle a
// shadow leaves, the corners a part rounds, and where a picture goes in its box.

#include "controls/marquee/fill_types.h"

namespace marquee {

struct TMirrorParts
{
    TRectF Upper, Lower;
};
// The two parts of a mirrored fill; they overlap by 2 pixels so that no seam shows.
TMirrorParts MirrorParts(const TRectF& r);

// The rectangle left for the fill after a shadow of `offset` pixels.
TRectF ShadowRemainder(const TRectF& r, TShadowType type, int offset);

// The corners a mirrored fill's part rounds: each part keeps only the corners of its own
// edge. `mirrorSet` false leaves the type as it is.
TFillRoundingType PartRoundingType(TFillRoundingType type, bool mirrorSet, bool mirrorPart);

enum TCorner : unsigned
{
    cnTopLeft = 1,
    cnTopRight = 2,
    cnBottomRight = 4,
    cnBottomLeft = 8
};
// The corners a rounding type rounds, as a set of TCorner bits.
unsigned RoundedCorners(TFillRoundingType type);

struct TSizeF
{
    double Width = 0, Height = 0;
    friend bool operator==(const TSizeF&, const TSizeF&) = default;
};
// The size of a picture fitted into a box keeping its proportions; 0 x 0 when any of the
// four sizes is 0 or less. In pmNormal a picture smaller than the box keeps its size.
TSizeF FitPictureSize(TPictureMode mode, int boxWidth, int boxHeight, int pictureWidth, int pictureHeight);

// The box a picture is placed in: `r` rounded to whole pixels, moved by the offsets for
// every position but ppCustom.
TRectI PictureBox(const TRectF& r, TFillPicturePosition position, int left, int top);

// The rectangle a picture of w x h is drawn into, for every position but ppTiled (which
// fills the whole box). `left` and `top` are the offsets, the picture's own place for
// ppCustom.
TRectI PictureRect(TFillPicturePosition position, const TRectI& box, int w, int h, int left, int top,
                   bool aspectRatio, TPictureMode aspectMode);

} // namespace marquee
