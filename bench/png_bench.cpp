// Benchmark of the screenshot encodings on a synthetic 1920 x 1080 desktop-like picture
// (gradients, window frames, text-like strokes and a photo-like noisy area): milliseconds
// and bytes of each PNG format, and the PSNR of the 256-colour and 16-grey results. Writes
// the picture as a true-colour PNG (for pngquant) and the 256-colour PNG into the folder
// given. Driven by bench/png.sh; never fails on time.

#include "base/byte_writer.h"
#include "crash/imaging/pixel_buffer.h"

#include <zlib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

namespace {

using crash::TPixelBuffer;

TPixelBuffer Desktop()
{
    TPixelBuffer b(1920, 1080);
    std::mt19937 random(7);
    for (int32_t y = 0; y < b.Height; ++y)
        for (int32_t x = 0; x < b.Width; ++x) {
            uint32_t r = static_cast<uint32_t>(30 + x * 60 / 1920),
                     g = static_cast<uint32_t>(80 + y * 90 / 1080), bl = 160;
            if (x > 200 && x < 1300 && y > 150 && y < 900) { // a window
                r = g = bl = 240;
                if (y < 180)
                    r = 0, g = 90, bl = 200; // its caption
                else if ((y / 18) % 2 == 0 && (x / 7) % 5 != 0 && x < 1000)
                    r = g = bl = 20; // lines of text
            }
            if (x > 1400 && x < 1800 && y > 300 && y < 700) { // a photo
                const double v = 128 + 60 * std::sin(x / 23.0) * std::cos(y / 17.0);
                r = static_cast<uint32_t>(std::clamp(v + random() % 40, 0.0, 255.0));
                g = static_cast<uint32_t>(std::clamp(v * 0.8 + random() % 40, 0.0, 255.0));
                bl = static_cast<uint32_t>(std::clamp(255 - v + random() % 40, 0.0, 255.0));
            }
            b.At(x, y) = r << 16 | g << 8 | bl;
        }
    return b;
}

std::string TrueColourPng(const TPixelBuffer& b)
{
    std::string raw;
    for (int32_t y = 0; y < b.Height; ++y) {
        raw += '\0';
        for (int32_t x = 0; x < b.Width; ++x) {
            const uint32_t p = b.At(x, y);
            raw += static_cast<char>(p >> 16);
            raw += static_cast<char>(p >> 8);
            raw += static_cast<char>(p);
        }
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
             static_cast<uLong>(raw.size()));
    packed.resize(size);
    // The chunks' CRC is zlib's, independent of the encoder's own.
    auto chunk = [](base::TByteWriter& png, const char* type, const std::string& data) {
        base::TByteWriter typed;
        typed.Chars({type, 4}).Chars(data);
        png.U32Be(static_cast<uint32_t>(data.size())).Bytes(typed.Data());
        png.U32Be(static_cast<uint32_t>(crc32(0, typed.Data().data(), static_cast<uInt>(typed.Size()))));
    };
    base::TByteWriter png, ihdr;
    png.Chars({"\x89PNG\r\n\x1a\n", 8});
    // Bit depth 8, colour type 2 (RGB), deflate, no filters, no interlace.
    ihdr.U32Be(static_cast<uint32_t>(b.Width))
        .U32Be(static_cast<uint32_t>(b.Height))
        .U8(8)
        .U8(2)
        .U8(0)
        .U8(0)
        .U8(0);
    chunk(png, "IHDR", std::string(ihdr.Data().begin(), ihdr.Data().end()));
    chunk(png, "IDAT", packed);
    chunk(png, "IEND", "");
    return std::string(png.Data().begin(), png.Data().end());
}

// PSNR of `approx` against `original` over the red, green and blue bytes.
double Psnr(const TPixelBuffer& original, const TPixelBuffer& approx)
{
    double se = 0;
    for (size_t i = 0; i < original.Pixels.size(); ++i)
        for (int shift : {0, 8, 16}) {
            const double d = static_cast<double>((original.Pixels[i] >> shift) & 0xFF) -
                             static_cast<double>((approx.Pixels[i] >> shift) & 0xFF);
            se += d * d;
        }
    const double mse = se / (original.Pixels.size() * 3.0);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The picture as the 256-colour PNG shows it: each pixel replaced by its palette entry.
TPixelBuffer Mapped(const TPixelBuffer& b)
{
    const std::vector<crash::TRgb> palette = crash::WuPalette(b);
    const std::vector<uint8_t> indices = crash::PaletteIndices(b, palette);
    TPixelBuffer out = b;
    for (int32_t y = 0; y < b.Height; ++y)
        for (int32_t x = 0; x < b.Width; ++x) {
            const crash::TRgb e = palette[indices[static_cast<size_t>(y) * b.Width + x]];
            out.At(x, y) = static_cast<uint32_t>(e.R << 16 | e.G << 8 | e.B);
        }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : ".";
    const TPixelBuffer desktop = Desktop();
    std::ofstream(folder + "/desktop.png", std::ios::binary) << TrueColourPng(desktop);
    const struct
    {
        crash::TPngFormat Format;
        const char* Name;
    } formats[] = {
        {crash::pf256Colors, "256 colours"}, {crash::pf16Grays, "16 greys"}, {crash::pf50kb, "50 KB"},
        {crash::pf100kb, "100 KB"},          {crash::pf200kb, "200 KB"},     {crash::pf300kb, "300 KB"}};
    for (const auto& f : formats) {
        TPixelBuffer copy = desktop;
        const auto start = std::chrono::steady_clock::now();
        const std::string png = crash::AsPngStr(copy, f.Format);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::printf("%-12s %8.1f ms %9zu bytes\n", f.Name, ms, png.size());
        if (f.Format == crash::pf256Colors)
            std::ofstream(folder + "/ours-256.png", std::ios::binary) << png;
        if (f.Format == crash::pf16Grays)
            std::printf("%-12s PSNR %.2f dB\n", "16 greys", Psnr(desktop, copy));
    }
    std::printf("%-12s PSNR %.2f dB\n", "256 colours", Psnr(desktop, Mapped(desktop)));
    return 0;
}
