// Scaling: the fitting rule and separable filtered rescaling with per-index contributor
// lists (Graphics Gems III) using the Mitchell-Netravali cubic, in 16-bit fixed point.

#include "crash/imaging/pixel_buffer.h"

#include <algorithm>
#include <cmath>

namespace crash {
namespace {

struct Contributor
{
    int32_t Pixel;
    int32_t Weight; // 16 fraction bits
};

int32_t Reflect(int32_t j, int32_t size)
{
    if (j < 0)
        j = -j;
    if (j >= size)
        j = 2 * size - 1 - j;
    // Pictures narrower than the filter's reach reflect past their other edge too.
    return std::clamp(j, 0, size - 1);
}

int32_t Fixed(float weight)
{
    return static_cast<int32_t>(std::nearbyint(weight * 65536.0f));
}

std::vector<std::vector<Contributor>> Contributors(int32_t source, int32_t destination)
{
    std::vector<std::vector<Contributor>> list(static_cast<size_t>(destination));
    if (destination < source) {
        const float scale = static_cast<float>(destination) / static_cast<float>(source);
        for (int32_t i = 0; i < destination; ++i) {
            const float fi = static_cast<float>(i);
            const int32_t first = static_cast<int32_t>(std::floor((fi - 2.0f) / scale));
            const int32_t last = static_cast<int32_t>(std::ceil((fi + 2.0f) / scale));
            for (int32_t j = first; j <= last; ++j) {
                const float t = std::fabs(fi - static_cast<float>(j) * scale);
                if (t < 2.0f)
                    list[static_cast<size_t>(i)].push_back(
                        {Reflect(j, source), Fixed(MitchellFilter(t) * scale)});
            }
        }
    } else {
        for (int32_t i = 0; i < destination; ++i) {
            const float centre =
                static_cast<float>(i) * static_cast<float>(source) / static_cast<float>(destination);
            const int32_t first = static_cast<int32_t>(std::floor(centre - 2.0f));
            const int32_t last = static_cast<int32_t>(std::ceil(centre + 2.0f));
            for (int32_t j = first; j <= last; ++j) {
                const float t = std::fabs(centre - static_cast<float>(j));
                if (t < 2.0f)
                    list[static_cast<size_t>(i)].push_back({Reflect(j, source), Fixed(MitchellFilter(t))});
            }
        }
    }
    return list;
}

uint32_t Channel(int32_t sum)
{
    if (sum < 0)
        return 0;
    if (sum > 0xFF0000)
        return 255;
    return static_cast<uint32_t>(sum) >> 16;
}

uint32_t Filter(const std::vector<Contributor>& weights, const uint32_t* line, size_t stride)
{
    int32_t b = 0, g = 0, r = 0;
    for (const Contributor& c : weights) {
        const uint32_t p = line[static_cast<size_t>(c.Pixel) * stride];
        b += c.Weight * static_cast<int32_t>(p & 0xFF);
        g += c.Weight * static_cast<int32_t>((p >> 8) & 0xFF);
        r += c.Weight * static_cast<int32_t>((p >> 16) & 0xFF);
    }
    return Channel(r) << 16 | Channel(g) << 8 | Channel(b);
}

} // namespace

float MitchellFilter(float t)
{
    t = std::fabs(t);
    if (t < 1.0f)
        return (7.0f / 6.0f) * t * t * t - 2.0f * t * t + 8.0f / 9.0f;
    if (t < 2.0f)
        return -(7.0f / 18.0f) * t * t * t + 2.0f * t * t - (10.0f / 3.0f) * t + 16.0f / 9.0f;
    return 0.0f;
}

void FitZoom(int32_t sourceWidth, int32_t sourceHeight, int32_t& width, int32_t& height)
{
    if (sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0)
        return;
    // 64-bit products: the same results as 32-bit ones wherever those don't overflow.
    const int64_t w = sourceWidth, h = sourceHeight;
    const int32_t hFromW = static_cast<int32_t>(h * width / w);
    const int32_t wFromH = static_cast<int32_t>(w * height / h);
    if (height < hFromW || width < wFromH) {
        if (w * 65536 / width > h * 65536 / height)
            height = hFromW;
        else
            width = wFromH;
    }
}

TPixelBuffer Resample(const TPixelBuffer& source, int32_t width, int32_t height)
{
    TPixelBuffer result(width, height);
    if (source.Width <= 0 || source.Height <= 0 || width <= 0 || height <= 0)
        return result;
    const auto columns = Contributors(source.Width, width);
    const auto rows = Contributors(source.Height, height);
    std::vector<uint32_t> column(static_cast<size_t>(source.Height));
    for (int32_t x = 0; x < width; ++x) {
        for (int32_t y = 0; y < source.Height; ++y)
            column[static_cast<size_t>(y)] = Filter(columns[static_cast<size_t>(x)],
                                                    &source.Pixels[static_cast<size_t>(y) * source.Width], 1);
        for (int32_t y = 0; y < height; ++y) {
            uint32_t& out =
                result.Pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
            out = (out & 0xFF000000u) | Filter(rows[static_cast<size_t>(y)], column.data(), 1);
        }
    }
    return result;
}

} // namespace crash
