#pragma once
// The value types of the shape fill and the marquee that need no Windows API: colours,
// the single-precision rectangle, and the enumerations in their stored order (the first
// value is 0; saved fills hold these numbers).

#include <cstdint>

namespace marquee {

// 0x00BBGGRR for a plain colour, ColorNone for none, 0xFF000000 + index for a system
// colour (resolved through the system's colour table before drawing).
using TFillColor = uint32_t;
constexpr TFillColor ColorNone = 0x1FFFFFFF;

struct TRectF
{
    float X = 0, Y = 0, Width = 0, Height = 0;
    friend bool operator==(const TRectF&, const TRectF&) = default;
};

// An integer rectangle given by its edges.
struct TRectI
{
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const noexcept { return Right - Left; }
    int Height() const noexcept { return Bottom - Top; }
    friend bool operator==(const TRectI&, const TRectI&) = default;
};

enum TFillGradientType
{
    gtSolid,
    gtRadial,
    gtVertical,
    gtHorizontal,
    gtForwardDiagonal,
    gtBackwardDiagonal,
    gtAngle,
    gtHatch,
    gtPath,
    gtTexture,
    gtNone
};
enum TShadowType
{
    stRightBottom,
    stBottom,
    stSurround
};
enum TGlowMode
{
    gmNone,
    gmGradient,
    gmRadial,
    gmRadialGradient
};
enum TFillRoundingType
{
    rtNone,
    rtTop,
    rtBottom,
    rtBoth,
    rtLeft,
    rtRight
};
enum TFillPicturePosition
{
    ppTopLeft,
    ppTopCenter,
    ppTopRight,
    ppBottomLeft,
    ppBottomCenter,
    ppBottomRight,
    ppTiled,
    ppStretched,
    ppCenterLeft,
    ppCenterCenter,
    ppCenterRight,
    ppCustom
};
enum TFillPictureSize
{
    psOriginal,
    psCustom
};
enum TFillPictureMode
{
    pmInsideFill,
    pmOutsideFill
};
enum TPictureMode
{
    pmStretch,
    pmNormal
};
// GDI+'s hatch styles in GDI+'s order, HatchStyleHorizontal (0) to
// HatchStyleSolidDiamond (52).
enum THatchStyle : int
{
};
constexpr int HatchStyleCount = 53;

// The number of values of each enumeration, for checking numbers read from outside.
constexpr int GradientTypeCount = gtNone + 1;
constexpr int ShadowTypeCount = stSurround + 1;
constexpr int GlowModeCount = gmRadialGradient + 1;
constexpr int RoundingTypeCount = rtRight + 1;
constexpr int PicturePositionCount = ppCustom + 1;
constexpr int PictureSizeCount = psCustom + 1;
constexpr int FillPictureModeCount = pmOutsideFill + 1;
constexpr int PictureModeCount = pmNormal + 1;

} // namespace marquee
