#pragma once
// The crash reporter's pixel work, free of any platform: a 32-bit pixel buffer (blue,
// green, red, unused; rows bottom-up, no padding) and what is done with it: the BMP form,
// the PNG encodings (256 colours by Wu's quantizer, 16 greys, and the size-budget choice
// between them) and scaling with a Mitchell filter.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace crash {

struct TPixelBuffer
{
    int32_t Width = 0;
    int32_t Height = 0;
    // Width * Height pixels 0xXXRRGGBB, the bottom row first.
    std::vector<uint32_t> Pixels;

    TPixelBuffer() = default;
    TPixelBuffer(int32_t width, int32_t height)
        : Width(width), Height(height), Pixels(static_cast<size_t>(width) * static_cast<size_t>(height))
    {
    }
    // The pixel at column x of row y counted from the top.
    uint32_t& At(int32_t x, int32_t yFromTop)
    {
        return Pixels[static_cast<size_t>(Height - 1 - yFromTop) * static_cast<size_t>(Width) +
                      static_cast<size_t>(x)];
    }
    uint32_t At(int32_t x, int32_t yFromTop) const
    {
        return const_cast<TPixelBuffer*>(this)->At(x, yFromTop);
    }
};

enum TPngFormat : uint8_t
{
    pf256Colors,
    pf16Grays,
    pf50kb,
    pf100kb,
    pf200kb,
    pf300kb
};

// "BM", the file size, the 40-byte header (32 bits, no compression) and the pixels.
std::string AsBmpStr(const TPixelBuffer& bitmap);

// The PNG of the given format. The 16-grey encoding turns the bitmap's own pixels grey.
std::string AsPngStr(TPixelBuffer& bitmap, TPngFormat format);
std::string Png256Colors(const TPixelBuffer& bitmap);
std::string Png16Grays(TPixelBuffer& bitmap);

// The size budget of a format in bytes (0 for pf256Colors and pf16Grays).
uint32_t PngBudget(TPngFormat format);
// The choice of AsPngStr: the colour PNG unless the format is pf16Grays; the grey one for
// pf16Grays, or when the colour PNG exceeds the budget and the grey one is strictly shorter.
std::string SelectPng(TPngFormat format, const std::function<std::string()>& colour,
                      const std::function<std::string()>& grey);

// Wu's quantizer: the box means (at most `colors` entries, fewer when no box can be cut).
struct TRgb
{
    uint8_t R, G, B;
    friend bool operator==(const TRgb&, const TRgb&) = default;
};
std::vector<TRgb> WuPalette(const TPixelBuffer& bitmap, int colors = 256);
// The palette index of every pixel, rows from the top: the entry with the smallest sum of
// absolute differences (lowest index on ties), decided per 15-bit colour cell by the first
// pixel met in it.
std::vector<uint8_t> PaletteIndices(const TPixelBuffer& bitmap, const std::vector<TRgb>& colors);

// The size that fits the box width x height with the bitmap's proportions.
void FitZoom(int32_t sourceWidth, int32_t sourceHeight, int32_t& width, int32_t& height);
// The bitmap resampled to exactly width x height (Mitchell filter, 16-bit fixed point).
TPixelBuffer Resample(const TPixelBuffer& source, int32_t width, int32_t height);
// The Mitchell-Netravali cubic with B = C = 1/3.
float MitchellFilter(float t);

} // namespace crash
