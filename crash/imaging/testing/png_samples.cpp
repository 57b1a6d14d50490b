// Writes sample PNGs of the encoder for the independent check (png_check.py): for each
// sample NAME, NAME.png, NAME.rgb (the source pixels as 8-bit R, G, B, rows from the top)
// and NAME.k (how many palette entries the picture's encoding filled).

#include "crash/imaging/pixel_buffer.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

void Write(const std::string& path, const std::string& data)
{
    std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

void Sample(const std::string& folder, const std::string& name, crash::TPixelBuffer b,
            crash::TPngFormat format)
{
    const size_t filled = format == crash::pf16Grays ? 16 : crash::WuPalette(b).size();
    const std::string png = crash::AsPngStr(b, format);
    std::string rgb; // after the encoding: the grey encoding changes the pixels
    for (int32_t y = 0; y < b.Height; ++y)
        for (int32_t x = 0; x < b.Width; ++x) {
            const uint32_t p = b.At(x, y);
            rgb += static_cast<char>(p >> 16);
            rgb += static_cast<char>(p >> 8);
            rgb += static_cast<char>(p);
        }
    Write(folder + "/" + name + ".png", png);
    Write(folder + "/" + name + ".rgb", rgb);
    Write(folder + "/" + name + ".k", std::to_string(filled));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: png_samples FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    crash::TPixelBuffer gradient(64, 48);
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x)
            gradient.At(x, y) = static_cast<uint32_t>((x * 4) << 16 | (y * 5) << 8 | ((x * y) % 256));
    Sample(folder, "gradient", gradient, crash::pf256Colors);
    crash::TPixelBuffer few(7, 5);
    for (size_t i = 0; i < few.Pixels.size(); ++i)
        few.Pixels[i] = i % 3 == 0 ? 0xFF2040u : i % 3 == 1 ? 0x10E010u : 0x000000u;
    Sample(folder, "few", few, crash::pf50kb);
    crash::TPixelBuffer odd(9, 4);
    for (size_t i = 0; i < odd.Pixels.size(); ++i)
        odd.Pixels[i] = static_cast<uint32_t>(i * 0x070B0D);
    Sample(folder, "grey-odd", odd, crash::pf16Grays);
    return 0;
}
