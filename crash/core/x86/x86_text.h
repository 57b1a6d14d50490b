#pragma once
// The Intel-syntax text of a decoded 32-bit x86 instruction, spelled as GNU objdump's
// Intel mode spells it (condition codes o, no, b, ae, e, ne, be, a, s, ns, p, np, l, ge,
// le, g; "DWORD PTR [ebp-0x8]"; immediates in hexadecimal). Relative targets are written
// as bare lowercase hexadecimal addresses. Platform-free.

#include "crash/core/x86/x86_decoder.h"

#include <span>
#include <string>
#include <vector>

namespace crash {

struct TInstructionText
{
    std::string Prefixes; // "lock ", "repne " or "rep " when present
    std::string Mnemonic;
    std::vector<std::string> Operands;
    bool BeyondSse3 = false; // an instruction of a later extension (SSSE3 and on)
};

// The text of the instruction that DecodeInstruction read from the start of `code` into
// `info` and `parts`; empty for an invalid instruction.
TInstructionText InstructionText(std::span<const uint8_t> code, const InstructionInfo& info,
                                 const TInstructionParts& parts);

// Prefixes, mnemonic and operands as one line: "rep movs BYTE PTR es:[edi],BYTE PTR ds:[esi]".
std::string InstructionLine(const TInstructionText& text);

} // namespace crash
