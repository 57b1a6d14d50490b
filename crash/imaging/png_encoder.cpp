// The BMP form and the PNG encodings of a pixel buffer.

#include "base/byte_writer.h"
#include "base/crc32.h"
#include "crash/imaging/pixel_buffer.h"

#include <zlib.h>

#include <array>
#include <cstdlib>
#include <string_view>

namespace crash {
namespace {

std::string Text(const base::TByteWriter& out)
{
    return {out.Data().begin(), out.Data().end()};
}

void Chunk(base::TByteWriter& png, const char* type, std::string_view data)
{
    base::TByteWriter typed;
    typed.Chars({type, 4}).Chars(data);
    png.U32Be(static_cast<uint32_t>(data.size())).Bytes(typed.Data());
    png.U32Be(base::Crc32(typed.Data().data(), typed.Size()));
}

// IDAT's zlib stream: the header 0x78 0x01, the raw deflate of the data in one call, the
// Adler-32 of the data. Empty when the data cannot be compressed.
std::string ZlibStream(const std::string& data)
{
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    std::string packed(data.size() * 11 / 10 + 12, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = static_cast<uInt>(packed.size());
    const int status = deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    if (status != Z_STREAM_END)
        return {};
    base::TByteWriter out;
    out.U8(0x78).U8(0x01).Chars(packed);
    out.U32Be(
        static_cast<uint32_t>(adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.data()),
                                      static_cast<uInt>(data.size()))));
    return Text(out);
}

std::string Png(int32_t width, int32_t height, const std::string& palette, const std::string& image)
{
    const std::string idat = ZlibStream(image);
    if (idat.empty())
        return {};
    base::TByteWriter png, ihdr;
    png.Chars({"\x89PNG\r\n\x1a\n", 8});
    // Bit depth 8 or 4, colour type 3 (palette), deflate, adaptive filters, no interlace.
    ihdr.U32Be(static_cast<uint32_t>(width)).U32Be(static_cast<uint32_t>(height));
    ihdr.U8(palette.size() == 768 ? 8 : 4).U8(3).U8(0).U8(0).U8(0);
    Chunk(png, "IHDR", Text(ihdr));
    Chunk(png, "PLTE", palette);
    Chunk(png, "IDAT", idat);
    Chunk(png, "IEND", "");
    return Text(png);
}

constexpr std::array<uint8_t, 16> GreyLevels = {0,   28,  52,  73,  92,  109, 125, 140,
                                                155, 170, 185, 199, 213, 227, 241, 255};

} // namespace

std::string AsBmpStr(const TPixelBuffer& bitmap)
{
    const uint32_t imageSize = static_cast<uint32_t>(bitmap.Pixels.size() * 4);
    // The file header, then BITMAPINFOHEADER: 32 bits per pixel, no compression.
    base::TByteWriter bmp;
    bmp.Chars("BM").U32(54 + imageSize).U32(0).U32(54);
    bmp.U32(40)
        .U32(static_cast<uint32_t>(bitmap.Width))
        .U32(static_cast<uint32_t>(bitmap.Height))
        .U16(1)
        .U16(32);
    bmp.U32(0).U32(imageSize).Zeros(16);
    std::string file = Text(bmp);
    file.append(reinterpret_cast<const char*>(bitmap.Pixels.data()), imageSize);
    return file;
}

std::vector<uint8_t> PaletteIndices(const TPixelBuffer& bitmap, const std::vector<TRgb>& colors)
{
    // The nearest entry, decided once per 15-bit cell by the first pixel met in it.
    std::vector<int16_t> cache(32768, -1);
    std::vector<uint8_t> indices;
    indices.reserve(bitmap.Pixels.size());
    for (int32_t y = 0; y < bitmap.Height; ++y) {
        for (int32_t x = 0; x < bitmap.Width; ++x) {
            const uint32_t p = bitmap.At(x, y);
            const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            int16_t& index = cache[static_cast<size_t>((r >> 3) + (g >> 3) * 32 + (b >> 3) * 1024)];
            if (index < 0) {
                int best = 0x7FFFFFFF;
                for (size_t k = 0; k < colors.size(); ++k) {
                    const int d =
                        std::abs(r - colors[k].R) + std::abs(g - colors[k].G) + std::abs(b - colors[k].B);
                    if (d < best) {
                        best = d;
                        index = static_cast<int16_t>(k);
                    }
                }
            }
            indices.push_back(static_cast<uint8_t>(index));
        }
    }
    return indices;
}

std::string Png256Colors(const TPixelBuffer& bitmap)
{
    const std::vector<TRgb> colors = WuPalette(bitmap, 256);
    std::string palette(768, '\0');
    for (size_t k = 0; k < colors.size(); ++k) {
        palette[3 * k] = static_cast<char>(colors[k].R);
        palette[3 * k + 1] = static_cast<char>(colors[k].G);
        palette[3 * k + 2] = static_cast<char>(colors[k].B);
    }
    const std::vector<uint8_t> indices = PaletteIndices(bitmap, colors);
    std::string image;
    image.reserve(static_cast<size_t>(bitmap.Height) * (static_cast<size_t>(bitmap.Width) + 1));
    for (int32_t y = 0; y < bitmap.Height; ++y) {
        image += '\0';
        image.append(reinterpret_cast<const char*>(indices.data()) + static_cast<size_t>(y) * bitmap.Width,
                     static_cast<size_t>(bitmap.Width));
    }
    return Png(bitmap.Width, bitmap.Height, palette, image);
}

std::string Png16Grays(TPixelBuffer& bitmap)
{
    for (uint32_t& p : bitmap.Pixels) {
        const uint32_t grey = (((p >> 16) & 0xFF) * 77 + ((p >> 8) & 0xFF) * 151 + (p & 0xFF) * 28) >> 8;
        p = (p & 0xFF000000u) | grey << 16 | grey << 8 | grey;
    }
    std::string palette;
    for (uint8_t level : GreyLevels)
        palette += std::string(3, static_cast<char>(level));
    std::array<uint8_t, 256> nearest{};
    for (int v = 0; v < 256; ++v) {
        int best = 256;
        for (size_t k = 0; k < GreyLevels.size(); ++k) {
            const int d = std::abs(v - GreyLevels[k]);
            if (d < best) {
                best = d;
                nearest[static_cast<size_t>(v)] = static_cast<uint8_t>(k);
            }
        }
    }
    std::string image;
    for (int32_t y = 0; y < bitmap.Height; ++y) {
        image += '\0';
        for (int32_t x = 0; x < bitmap.Width; x += 2) {
            uint8_t byte = static_cast<uint8_t>(nearest[bitmap.At(x, y) & 0xFF] << 4);
            if (x + 1 < bitmap.Width)
                byte |= nearest[bitmap.At(x + 1, y) & 0xFF];
            image += static_cast<char>(byte);
        }
    }
    return Png(bitmap.Width, bitmap.Height, palette, image);
}

uint32_t PngBudget(TPngFormat format)
{
    switch (format) {
    case pf50kb:
        return 51200;
    case pf100kb:
        return 102400;
    case pf200kb:
        return 204800;
    case pf300kb:
        return 307200;
    default:
        return 0;
    }
}

std::string SelectPng(TPngFormat format, const std::function<std::string()>& colour,
                      const std::function<std::string()>& grey)
{
    std::string result;
    if (format != pf16Grays)
        result = colour();
    const uint32_t budget = PngBudget(format);
    if (format == pf16Grays || (budget && result.size() > budget)) {
        std::string greyPng = grey();
        if (result.empty() || (!greyPng.empty() && greyPng.size() < result.size()))
            result = std::move(greyPng);
    }
    return result;
}

std::string AsPngStr(TPixelBuffer& bitmap, TPngFormat format)
{
    return SelectPng(
        format, [&] { return Png256Colors(bitmap); }, [&] { return Png16Grays(bitmap); });
}

} // namespace crash
