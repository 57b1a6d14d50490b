// Benchmark of the x86 decoder: decodes a raw code file from start to end, first for
// lengths and targets alone, then with the Intel-syntax text of every instruction, and
// prints instructions per second for both; then analyses every exported function of a
// DLL. The script (bench/x86.sh) times objdump on the same bytes in the
// same run. Never fails on time.
//   x86_bench CODE.bin DLL

#include "base/little_endian.h"
#include "crash/core/x86/x86_decoder.h"
#include "crash/core/x86/x86_function.h"
#include "crash/core/x86/x86_text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

template <class F> double Rate(const std::vector<uint8_t>& code, F each, size_t& count)
{
    const auto start = std::chrono::steady_clock::now();
    count = 0;
    for (size_t at = 0; at < code.size(); ++count) {
        const auto bytes = std::span<const uint8_t>(code).subspan(at);
        crash::TInstructionParts parts;
        const auto info = crash::DecodeInstruction(bytes, 0x10000000u + static_cast<uint32_t>(at), parts);
        each(bytes, info, parts);
        at += info.Valid ? info.Length : 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return static_cast<double>(count) / seconds;
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at)
{
    return base::ReadLe32(b, at);
}

uint16_t U16(const std::vector<uint8_t>& b, size_t at)
{
    return base::ReadLe16(b, at);
}

// A PE image laid out at its preferred base, as the analysis reads it.
struct TMappedImage : crash::ICodeMemory
{
    std::vector<uint8_t> Image;
    uint32_t Base = 0, CodeBegin = 0, CodeEnd = 0;
    std::vector<uint32_t> Exports;

    explicit TMappedImage(const std::vector<uint8_t>& file)
    {
        const uint32_t nt = U32(file, 0x3C);
        const uint16_t sections = U16(file, nt + 6), optional = U16(file, nt + 20);
        const uint32_t opt = nt + 24;
        Base = U32(file, opt + 28);
        CodeBegin = Base + U32(file, opt + 20);
        CodeEnd = CodeBegin + U32(file, opt + 4);
        Image.resize(std::min<uint32_t>(U32(file, opt + 56), 256u << 20));
        for (uint16_t k = 0; k < sections; ++k) {
            const size_t s = opt + optional + 40u * k;
            const uint32_t rva = U32(file, s + 12), size = U32(file, s + 16), raw = U32(file, s + 20);
            for (uint32_t i = 0; i < size && raw + i < file.size() && rva + i < Image.size(); ++i)
                Image[rva + i] = file[raw + i];
        }
        const uint32_t exportRva = U32(file, opt + 96), exportSize = U32(file, opt + 100);
        const uint32_t count = U32(Image, exportRva + 20), functions = U32(Image, exportRva + 28);
        for (uint32_t k = 0; k < count && k < 100000; ++k) {
            const uint32_t rva = U32(Image, functions + 4 * k);
            if (rva && (rva < exportRva || rva >= exportRva + exportSize)) // not a forwarder
                Exports.push_back(Base + rva);
        }
    }
    bool Read(uint32_t address, uint8_t* out, size_t size) override
    {
        if (address < Base || address - Base + size > Image.size())
            return false;
        std::copy_n(Image.begin() + (address - Base), size, out);
        return true;
    }
    std::optional<std::pair<uint32_t, uint32_t>> CodeRange(uint32_t) override
    {
        return std::make_pair(CodeBegin, CodeEnd);
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: x86_bench CODE.bin DLL\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<uint8_t> code((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t count = 0, chars = 0;
    const double plain = Rate(
        code, [](auto, const auto&, const auto&) {}, count);
    const double text = Rate(
        code,
        [&](auto bytes, const auto& info, const auto& parts) {
            chars += crash::InstructionLine(crash::InstructionText(bytes, info, parts)).size();
        },
        count);
    std::printf("%zu bytes, %zu instructions\n", code.size(), count);
    std::printf("decoding alone:     %12.0f instructions/s\n", plain);
    std::printf("decoding with text: %12.0f instructions/s (%zu characters)\n", text, chars);

    std::ifstream dll(argv[2], std::ios::binary);
    TMappedImage image(
        std::vector<uint8_t>((std::istreambuf_iterator<char>(dll)), std::istreambuf_iterator<char>()));
    size_t areas = 0, valid = 0;
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t entry : image.Exports) {
        const crash::TFunctionInfo f = crash::AnalyseFunction(image, entry);
        areas += f.CodeAreas.size();
        valid += f.IsValid;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("analysis of %zu exported functions: %zu valid, %zu code areas, %.1f ms (%.0f functions/s)\n",
                image.Exports.size(), valid, areas, seconds * 1000, image.Exports.size() / seconds);
    return 0;
}
