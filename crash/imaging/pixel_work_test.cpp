#include "crash/imaging/pixel_buffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace crash {
namespace {

uint32_t Rgb(int r, int g, int b)
{
    return static_cast<uint32_t>(r << 16 | g << 8 | b);
}

uint32_t Be32(const std::string& s, size_t at)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(s[at])) << 24 | static_cast<uint8_t>(s[at + 1]) << 16 |
           static_cast<uint8_t>(s[at + 2]) << 8 | static_cast<uint8_t>(s[at + 3]);
}

TEST(PixelWork, BmpForm)
{
    TPixelBuffer b(3, 2);
    b.At(0, 0) = Rgb(1, 2, 3);
    const std::string bmp = AsBmpStr(b);
    ASSERT_EQ(bmp.size(), 54u + 3 * 2 * 4);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(static_cast<uint8_t>(bmp[2]), 54 + 24);
    EXPECT_EQ(static_cast<uint8_t>(bmp[10]), 54);
    EXPECT_EQ(static_cast<uint8_t>(bmp[28]), 32); // bits per pixel
    // Bottom-up: the top-left pixel is in the second (last) row of the data.
    EXPECT_EQ(static_cast<uint8_t>(bmp[54 + 12]), 3);
    EXPECT_EQ(static_cast<uint8_t>(bmp[54 + 14]), 1);
}

TEST(PixelWork, QuantizerWithFewColoursGivesTheirBoxesExactly)
{
    TPixelBuffer b(4, 4);
    for (int i = 0; i < 16; ++i)
        b.Pixels[static_cast<size_t>(i)] = i < 8    ? Rgb(200, 10, 10)
                                           : i < 12 ? Rgb(10, 200, 10)
                                                    : Rgb(10, 10, 200);
    const std::vector<TRgb> palette = WuPalette(b);
    ASSERT_EQ(palette.size(), 3u);
    const std::set<std::tuple<int, int, int>> colours = {{palette[0].R, palette[0].G, palette[0].B},
                                                         {palette[1].R, palette[1].G, palette[1].B},
                                                         {palette[2].R, palette[2].G, palette[2].B}};
    EXPECT_EQ(colours, (std::set<std::tuple<int, int, int>>{{200, 10, 10}, {10, 200, 10}, {10, 10, 200}}));

    // One colour, and an empty picture: one box.
    TPixelBuffer one(2, 2);
    for (auto& p : one.Pixels)
        p = Rgb(77, 88, 99);
    EXPECT_EQ(WuPalette(one), (std::vector<TRgb>{{77, 88, 99}}));
    EXPECT_EQ(WuPalette(TPixelBuffer()).size(), 1u);

    // Two colours of one 15-bit cell can't be told apart: their mean.
    TPixelBuffer cell(2, 1);
    cell.Pixels = {Rgb(0, 0, 0), Rgb(6, 6, 6)};
    EXPECT_EQ(WuPalette(cell), (std::vector<TRgb>{{3, 3, 3}}));
}

TEST(PixelWork, ColourPngOfFewColoursStillHasAFullPaletteAndEightBits)
{
    TPixelBuffer b(5, 3);
    for (size_t i = 0; i < b.Pixels.size(); ++i)
        b.Pixels[i] = Rgb(static_cast<int>(i * 40 % 256), 100, 50);
    const std::string png = Png256Colors(b);
    ASSERT_GT(png.size(), 8u + 25);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(Be32(png, 16), 5u);
    EXPECT_EQ(Be32(png, 20), 3u);
    EXPECT_EQ(png[24], 8);
    EXPECT_EQ(png[25], 3);
    EXPECT_EQ(Be32(png, 33), 768u); // PLTE length
    EXPECT_EQ(png.substr(37, 4), "PLTE");
    const size_t idat = 41 + 768 + 4;
    EXPECT_EQ(png.substr(idat + 4, 4), "IDAT");
    EXPECT_EQ(png.substr(idat + 8, 2), std::string("\x78\x01", 2));
}

TEST(PixelWork, GreyPngOfOddWidthAndTheBitmapTurnsGrey)
{
    TPixelBuffer b(3, 1);
    b.Pixels = {Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(0, 0, 255)};
    const std::string png = AsPngStr(b, pf16Grays);
    EXPECT_EQ(png[24], 4); // bit depth
    EXPECT_EQ(Be32(png, 33), 48u);
    EXPECT_EQ(b.Pixels[0], Rgb(76, 76, 76)); // 255 * 77 div 256
    EXPECT_EQ(b.Pixels[1], Rgb(150, 150, 150));
    EXPECT_EQ(b.Pixels[2], Rgb(27, 27, 27));

    TPixelBuffer colour(3, 1);
    colour.Pixels = {Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(0, 0, 255)};
    const std::string colourPng = AsPngStr(colour, pf256Colors);
    EXPECT_EQ(colourPng[24], 8);
    EXPECT_EQ(colour.Pixels[0], Rgb(255, 0, 0)); // untouched
}

TEST(PixelWork, SizeBudgetAtItsExactLimits)
{
    int greyMade = 0;
    auto grey = [&](size_t n) {
        return [&greyMade, n] {
            ++greyMade;
            return std::string(n, 'g');
        };
    };
    auto colour = [](size_t n) { return [n] { return std::string(n, 'c'); }; };
    EXPECT_EQ(SelectPng(pf50kb, colour(51200), grey(10)), std::string(51200, 'c'));
    EXPECT_EQ(greyMade, 0);
    EXPECT_EQ(SelectPng(pf50kb, colour(51201), grey(10)), std::string(10, 'g'));
    EXPECT_EQ(SelectPng(pf50kb, colour(51201), grey(51201)), std::string(51201, 'c')); // equal: colour
    EXPECT_EQ(greyMade, 2);
    EXPECT_EQ(SelectPng(pf300kb, colour(307201), grey(307200)).size(), 307200u);
    EXPECT_EQ(SelectPng(pf256Colors, colour(10000000), grey(1)).size(), 10000000u);
    EXPECT_EQ(greyMade, 3);
    EXPECT_EQ(SelectPng(pf16Grays, colour(1), grey(99)).size(), 99u);
}

TEST(PixelWork, ZoomFitsTheBoxWithTheSourcesProportions)
{
    auto fit = [](int32_t w, int32_t h, int32_t bw, int32_t bh) {
        FitZoom(w, h, bw, bh);
        return std::make_pair(bw, bh);
    };
    EXPECT_EQ(fit(800, 600, 200, 200), std::make_pair(200, 150));
    EXPECT_EQ(fit(800, 600, 1600, 1600), std::make_pair(1600, 1200));
    EXPECT_EQ(fit(800, 600, 400, 300), std::make_pair(400, 300));
    EXPECT_EQ(fit(600, 800, 200, 200), std::make_pair(150, 200));
}

// An independent floating-point Mitchell resampling of one channel for comparison.
double Reference(const TPixelBuffer& s, int32_t w, int32_t h, int32_t x, int32_t y, int shift)
{
    auto weights = [](int32_t src, int32_t dst, int32_t i) {
        std::vector<std::pair<int32_t, double>> out;
        const bool shrink = dst < src;
        const double scale = static_cast<double>(dst) / src;
        for (int32_t j = -src - 4; j < 2 * src + 4; ++j) {
            const double t =
                shrink ? std::fabs(i - j * scale) : std::fabs(static_cast<double>(i) * src / dst - j);
            if (t >= 2)
                continue;
            double f = t < 1 ? (7.0 / 6) * t * t * t - 2 * t * t + 8.0 / 9
                             : -(7.0 / 18) * t * t * t + 2 * t * t - (10.0 / 3) * t + 16.0 / 9;
            int32_t k = j < 0 ? -j : j;
            if (k >= src)
                k = 2 * src - 1 - k;
            out.push_back({std::clamp(k, 0, src - 1), shrink ? f * scale : f});
        }
        return out;
    };
    double sum = 0;
    for (auto [row, wy] : weights(s.Height, h, y)) {
        double line = 0;
        for (auto [col, wx] : weights(s.Width, w, x))
            line += wx * ((s.Pixels[static_cast<size_t>(row) * s.Width + col] >> shift) & 0xFF);
        sum += wy * std::clamp(line, 0.0, 255.0);
    }
    return std::clamp(sum, 0.0, 255.0);
}

TEST(PixelWork, ResampledPixelsMatchAFloatingPointReference)
{
    TPixelBuffer s(37, 23);
    for (int32_t y = 0; y < s.Height; ++y)
        for (int32_t x = 0; x < s.Width; ++x)
            s.Pixels[static_cast<size_t>(y) * s.Width + x] =
                Rgb((x * 7) % 256, (y * 11) % 256, ((x + y) * 13) % 256);
    for (auto [w, h] : {std::pair{20, 12}, std::pair{37, 23}, std::pair{80, 50}, std::pair{5, 3}}) {
        const TPixelBuffer d = Resample(s, w, h);
        ASSERT_EQ(d.Width, w);
        int worst = 0;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                for (int shift : {0, 8, 16}) {
                    const int got = (d.Pixels[static_cast<size_t>(y) * w + x] >> shift) & 0xFF;
                    worst =
                        std::max(worst, static_cast<int>(std::fabs(got - Reference(s, w, h, x, y, shift))));
                }
        EXPECT_LE(worst, 1) << w << "x" << h;
    }
}

} // namespace
} // namespace crash
