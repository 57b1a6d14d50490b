#include "crash/core/pipeline/address_correction.h"

#include <span>

namespace crash {
namespace {

// Whether `address` starts an instruction of one of the function's code areas or follows
// the last one of an area (as a return address after a final call does).
bool InstructionBoundary(ICodeMemory& memory, const TFunctionInfo& function, uint32_t address)
{
    for (const TCodeArea& area : function.CodeAreas) {
        if (address < area.AreaBegin || area.AreaEnd < area.AreaBegin || address > area.AreaEnd + 1)
            continue;
        for (uint32_t at = area.AreaBegin; at <= area.AreaEnd;) {
            if (at == address)
                return true;
            uint8_t code[15];
            const size_t got = memory.ReadUpTo(at, code, sizeof code);
            const InstructionInfo insn = DecodeInstruction(std::span<const uint8_t>(code, got), at);
            if (!insn.Valid || insn.Next <= at)
                break;
            at = insn.Next;
            if (at == address)
                return true;
        }
    }
    return false;
}

} // namespace

uint32_t CorrectedExceptAddress(ICodeMemory& memory, uint32_t functionStart, uint32_t address)
{
    const TFunctionInfo function = AnalyseFunction(memory, functionStart);
    if (!function.IsValid || InstructionBoundary(memory, function, address) ||
        !InstructionBoundary(memory, function, address + 4))
        return address;
    return address + 4;
}

} // namespace crash
