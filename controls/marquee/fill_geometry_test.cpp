#include "controls/marquee/fill_geometry.h"
#include "controls/marquee/hex_text.h"

#include <gtest/gtest.h>

namespace marquee {
namespace {

TEST(FillGeometry, MirrorPartsOverlapByTwoPixels)
{
    const TMirrorParts parts = MirrorParts({0, 0, 40, 100});
    EXPECT_EQ(parts.Upper, (TRectF{0, 0, 40, 51}));
    EXPECT_EQ(parts.Lower, (TRectF{0, 49, 40, 51}));
    // Odd heights split at the half-pixel.
    const TMirrorParts odd = MirrorParts({10, 5, 40, 11});
    EXPECT_EQ(odd.Upper, (TRectF{10, 5, 40, 6.5f}));
    EXPECT_EQ(odd.Lower, (TRectF{10, 9.5f, 40, 6.5f}));
}

TEST(FillGeometry, ShadowsTakeTheirShare)
{
    const TRectF r{10, 20, 100, 50};
    EXPECT_EQ(ShadowRemainder(r, stSurround, 5), (TRectF{15, 25, 90, 40}));
    EXPECT_EQ(ShadowRemainder(r, stRightBottom, 5), (TRectF{10, 20, 95, 45}));
    EXPECT_EQ(ShadowRemainder(r, stBottom, 5), (TRectF{10, 20, 100, 45}));
}

TEST(FillGeometry, EachMirroredPartRoundsOnlyItsOwnEdge)
{
    for (int t = 0; t < RoundingTypeCount; ++t) {
        const auto type = static_cast<TFillRoundingType>(t);
        EXPECT_EQ(PartRoundingType(type, false, true), type);
        EXPECT_EQ(PartRoundingType(type, false, false), type);
    }
    EXPECT_EQ(PartRoundingType(rtTop, true, true), rtNone);
    EXPECT_EQ(PartRoundingType(rtBoth, true, true), rtBottom);
    EXPECT_EQ(PartRoundingType(rtBottom, true, true), rtBottom);
    EXPECT_EQ(PartRoundingType(rtBottom, true, false), rtNone);
    EXPECT_EQ(PartRoundingType(rtBoth, true, false), rtTop);
    EXPECT_EQ(PartRoundingType(rtTop, true, false), rtTop);
    for (TFillRoundingType kept : {rtNone, rtLeft, rtRight}) {
        EXPECT_EQ(PartRoundingType(kept, true, true), kept);
        EXPECT_EQ(PartRoundingType(kept, true, false), kept);
    }
    EXPECT_EQ(RoundedCorners(rtNone), 0u);
    EXPECT_EQ(RoundedCorners(rtBoth), 15u);
    EXPECT_EQ(RoundedCorners(rtLeft), unsigned(cnTopLeft | cnBottomLeft));
    EXPECT_EQ(RoundedCorners(rtBottom), unsigned(cnBottomLeft | cnBottomRight));
}

TEST(FillGeometry, FitPictureSize)
{
    EXPECT_EQ(FitPictureSize(pmStretch, 0, 10, 5, 5), TSizeF{});
    EXPECT_EQ(FitPictureSize(pmStretch, 10, 10, 5, -1), TSizeF{});
    // A small picture keeps its size only in pmNormal.
    EXPECT_EQ(FitPictureSize(pmNormal, 100, 50, 20, 10), (TSizeF{20, 10}));
    EXPECT_EQ(FitPictureSize(pmStretch, 100, 50, 20, 10), (TSizeF{100, 50}));
    // A wide box: the height fills it. A tall box: the width does.
    EXPECT_EQ(FitPictureSize(pmStretch, 200, 50, 20, 10), (TSizeF{100, 50}));
    EXPECT_EQ(FitPictureSize(pmNormal, 40, 100, 80, 20), (TSizeF{40, 10}));
}

TEST(FillGeometry, PicturePlacement)
{
    const TRectI box = PictureBox({10.4f, 20.6f, 100, 50}, ppTopLeft, 3, 4);
    EXPECT_EQ(box, (TRectI{13, 25, 113, 75}));
    EXPECT_EQ(PictureBox({10, 20, 100, 50}, ppCustom, 3, 4), (TRectI{10, 20, 110, 70}));

    const TRectI b{0, 0, 101, 51};
    auto at = [&](TFillPicturePosition p) { return PictureRect(p, b, 20, 10, 7, 8, false, pmStretch); };
    EXPECT_EQ(at(ppTopLeft), (TRectI{0, 0, 20, 10}));
    EXPECT_EQ(at(ppTopCenter), (TRectI{40, 0, 60, 10}));
    EXPECT_EQ(at(ppTopRight), (TRectI{81, 0, 101, 10}));
    EXPECT_EQ(at(ppBottomLeft), (TRectI{0, 41, 20, 51}));
    EXPECT_EQ(at(ppBottomCenter), (TRectI{40, 41, 60, 51}));
    EXPECT_EQ(at(ppBottomRight), (TRectI{81, 41, 101, 51}));
    EXPECT_EQ(at(ppCenterLeft), (TRectI{0, 20, 20, 30}));
    EXPECT_EQ(at(ppCenterCenter), (TRectI{40, 20, 60, 30}));
    EXPECT_EQ(at(ppCenterRight), (TRectI{81, 20, 101, 30}));
    EXPECT_EQ(at(ppCustom), (TRectI{7, 8, 27, 18}));
    EXPECT_EQ(at(ppStretched), b);
    // Centring truncates toward zero also when the picture is larger than its box.
    EXPECT_EQ(PictureRect(ppCenterCenter, {0, 0, 10, 10}, 15, 15, 0, 0, false, pmStretch),
              (TRectI{-2, -2, 13, 13}));
    // Stretched keeping proportions: centred, coordinates rounded.
    EXPECT_EQ(PictureRect(ppStretched, {0, 0, 200, 51}, 20, 10, 0, 0, true, pmStretch),
              (TRectI{49, 0, 151, 51}));
}

TEST(HexText, RoundTripAndBadDigits)
{
    const std::vector<uint8_t> bytes{0x00, 0x7F, 0x80, 0xAB, 0xFF};
    EXPECT_EQ(HexUpper(bytes), "007F80ABFF");
    EXPECT_EQ(DecodeHex("007f80AbFF"), bytes);
    EXPECT_EQ(DecodeHex(""), std::vector<uint8_t>{});
    EXPECT_FALSE(DecodeHex("ABC"));
    EXPECT_FALSE(DecodeHex("0G"));
    EXPECT_FALSE(DecodeHex("00 1"));
}

} // namespace
} // namespace marquee
