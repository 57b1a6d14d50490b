#include "controls/marquee/fill_geometry.h"

#include <cmath>

namespace marquee {
namespace {

// Rounds to the nearest whole number, halves to even, as the fill's pixel rounding does.
int RoundPixel(double v)
{
    return static_cast<int>(std::nearbyint(v));
}

} // namespace

TMirrorParts MirrorParts(const TRectF& r)
{
    const float half = r.Height / 2;
    const float partHeight = r.Height - half + 1;
    return {{r.X, r.Y, r.Width, partHeight}, {r.X, r.Y + half - 1, r.Width, partHeight}};
}

TRectF ShadowRemainder(const TRectF& r, TShadowType type, int offset)
{
    const auto o = static_cast<float>(offset);
    switch (type) {
    case stSurround:
        return {r.X + o, r.Y + o, r.Width - 2 * o, r.Height - 2 * o};
    case stRightBottom:
        return {r.X, r.Y, r.Width - o, r.Height - o};
    case stBottom:
        return {r.X, r.Y, r.Width, r.Height - o};
    }
    return r;
}

TFillRoundingType PartRoundingType(TFillRoundingType type, bool mirrorSet, bool mirrorPart)
{
    if (!mirrorSet)
        return type;
    if (mirrorPart) {
        if (type == rtTop)
            return rtNone;
        if (type == rtBoth)
            return rtBottom;
    } else {
        if (type == rtBottom)
            return rtNone;
        if (type == rtBoth)
            return rtTop;
    }
    return type;
}

unsigned RoundedCorners(TFillRoundingType type)
{
    switch (type) {
    case rtNone:
        return 0;
    case rtTop:
        return cnTopLeft | cnTopRight;
    case rtBottom:
        return cnBottomLeft | cnBottomRight;
    case rtBoth:
        return cnTopLeft | cnTopRight | cnBottomRight | cnBottomLeft;
    case rtLeft:
        return cnTopLeft | cnBottomLeft;
    case rtRight:
        return cnTopRight | cnBottomRight;
    }
    return 0;
}

TSizeF FitPictureSize(TPictureMode mode, int boxWidth, int boxHeight, int pictureWidth, int pictureHeight)
{
    if (boxWidth <= 0 || boxHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0)
        return {};
    if (pictureWidth < boxWidth && pictureHeight < boxHeight && mode == pmNormal)
        return {static_cast<double>(pictureWidth), static_cast<double>(pictureHeight)};
    const double bw = boxWidth, bh = boxHeight, pw = pictureWidth, ph = pictureHeight;
    if (bw / bh > pw / ph)
        return {pw * bh / ph, bh};
    return {bw, ph * bw / pw};
}

TRectI PictureBox(const TRectF& r, TFillPicturePosition position, int left, int top)
{
    TRectI box{RoundPixel(r.X), RoundPixel(r.Y), RoundPixel(static_cast<double>(r.X) + r.Width),
               RoundPixel(static_cast<double>(r.Y) + r.Height)};
    if (position != ppCustom) {
        box.Left += left;
        box.Right += left;
        box.Top += top;
        box.Bottom += top;
    }
    return box;
}

TRectI PictureRect(TFillPicturePosition position, const TRectI& box, int w, int h, int left, int top,
                   bool aspectRatio, TPictureMode aspectMode)
{
    // Columns and rows of the nine anchored positions; integer halves truncate toward zero.
    const int leftX = box.Left, centreX = box.Left + (box.Width() - w) / 2, rightX = box.Right - w;
    const int topY = box.Top, centreY = box.Top + (box.Height() - h) / 2, bottomY = box.Bottom - h;
    auto at = [&](int x, int y) { return TRectI{x, y, x + w, y + h}; };
    switch (position) {
    case ppTopLeft:
        return at(leftX, topY);
    case ppTopCenter:
        return at(centreX, topY);
    case ppTopRight:
        return at(rightX, topY);
    case ppBottomLeft:
        return at(leftX, bottomY);
    case ppBottomCenter:
        return at(centreX, bottomY);
    case ppBottomRight:
        return at(rightX, bottomY);
    case ppCenterLeft:
        return at(leftX, centreY);
    case ppCenterCenter:
        return at(centreX, centreY);
    case ppCenterRight:
        return at(rightX, centreY);
    case ppCustom:
        return at(left, top);
    case ppTiled:
        return box;
    case ppStretched:
        if (!aspectRatio)
            return box;
        {
            const TSizeF size = FitPictureSize(aspectMode, box.Width(), box.Height(), w, h);
            const double x = box.Left + (box.Width() - size.Width) / 2;
            const double y = box.Top + (box.Height() - size.Height) / 2;
            return {RoundPixel(x), RoundPixel(y), RoundPixel(x + size.Width), RoundPixel(y + size.Height)};
        }
    }
    return box;
}

} // namespace marquee
