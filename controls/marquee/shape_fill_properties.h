#pragma once
// The shape fill's published values apart from its two pictures, in their published
// order: X(type, name, initial value). The fill's fields, accessors, Assign and the
// clipboard stream are all generated from this one list.

#define MARQUEE_FILL_PROPERTIES(X)                                                                           \
    X(TFillColor, Color, 0xC0C0C0)                                                                           \
    X(TFillColor, ColorTo, 0x808080)                                                                         \
    X(TFillColor, ColorMirror, ColorNone)                                                                    \
    X(TFillColor, ColorMirrorTo, ColorNone)                                                                  \
    X(TFillGradientType, GradientType, gtVertical)                                                           \
    X(TFillGradientType, GradientMirrorType, gtSolid)                                                        \
    X(THatchStyle, HatchStyle, THatchStyle{0})                                                               \
    X(THatchStyle, HatchStyleMirror, THatchStyle{0})                                                         \
    X(bool, BackGroundPictureAspectRatio, false)                                                             \
    X(TFillPictureMode, BackGroundPictureMode, pmOutsideFill)                                                \
    X(TFillPicturePosition, BackGroundPicturePosition, ppTopLeft)                                            \
    X(int, BackGroundPictureLeft, 0)                                                                         \
    X(int, BackGroundPictureTop, 0)                                                                          \
    X(TPictureMode, BackGroundPictureAspectMode, pmStretch)                                                  \
    X(TFillPicturePosition, PicturePosition, ppTopLeft)                                                      \
    X(int, PictureLeft, 0)                                                                                   \
    X(int, PictureTop, 0)                                                                                    \
    X(TFillPictureSize, PictureSize, psOriginal)                                                             \
    X(int, PictureWidth, 50)                                                                                 \
    X(int, PictureHeight, 50)                                                                                \
    X(bool, PictureAspectRatio, false)                                                                       \
    X(TPictureMode, PictureAspectMode, pmStretch)                                                            \
    X(uint8_t, Opacity, 255)                                                                                 \
    X(uint8_t, OpacityTo, 255)                                                                               \
    X(uint8_t, OpacityMirror, 255)                                                                           \
    X(uint8_t, OpacityMirrorTo, 255)                                                                         \
    X(TFillColor, BorderColor, ColorNone)                                                                    \
    X(uint8_t, BorderOpacity, 255)                                                                           \
    X(int, BorderWidth, 1)                                                                                   \
    X(int, Rounding, 0)                                                                                      \
    X(TFillRoundingType, RoundingType, rtBoth)                                                               \
    X(TFillColor, ShadowColor, 0x808080)                                                                     \
    X(int, ShadowOffset, 0)                                                                                  \
    X(TShadowType, ShadowType, stRightBottom)                                                                \
    X(int, Angle, 0)                                                                                         \
    X(TGlowMode, Glow, gmNone)                                                                               \
    X(TFillColor, GlowGradientColor, 0xFFFFFF)                                                               \
    X(TFillColor, GlowRadialColor, 0xFFFFFF)
