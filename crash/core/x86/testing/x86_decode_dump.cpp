// Decodes a raw code file linearly and prints one line per instruction for the comparison
// with objdump (x86_check.py): "address length C|J|- target<TAB>text", with "+" before the
// text of instructions beyond SSE3; "address bad" where the decoder finds no instruction
// (it then moves on by one byte).
//   x86_decode_dump CODE.bin BASE_ADDRESS_HEX

#include "crash/core/x86/x86_decoder.h"
#include "crash/core/x86/x86_text.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: x86_decode_dump CODE.bin BASE_ADDRESS_HEX\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<uint8_t> code((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto base = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 16));
    for (size_t at = 0; at < code.size();) {
        const auto bytes = std::span<const uint8_t>(code).subspan(at);
        crash::TInstructionParts parts;
        const auto info = crash::DecodeInstruction(bytes, base + static_cast<uint32_t>(at), parts);
        if (!info.Valid) {
            std::printf("%x bad\n", base + static_cast<uint32_t>(at));
            ++at;
            continue;
        }
        const bool direct = (info.Call || info.Jump) && info.RelTarget;
        const crash::TInstructionText text = crash::InstructionText(bytes, info, parts);
        std::printf("%x %u %c %x\t%s%s\n", info.This, info.Length, direct ? (info.Call ? 'C' : 'J') : '-',
                    direct ? info.Target : 0, text.BeyondSse3 ? "+" : "",
                    crash::InstructionLine(text).c_str());
        at += info.Length;
    }
    return 0;
}
