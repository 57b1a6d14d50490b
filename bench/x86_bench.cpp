// Benchmark of the x86 decoder: decodes a raw code file from start to end, first for
// lengths and targets alone, then with the Intel-syntax text of every instruction, and
// prints instructions per second for both. The script (bench/x86.sh) times objdump on the
// same bytes in the same run. Never fails on time.
//   x86_bench CODE.bin

#include "crash/core/x86_decoder.h"
#include "crash/core/x86_text.h"

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

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: x86_bench CODE.bin\n");
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
    return 0;
}
