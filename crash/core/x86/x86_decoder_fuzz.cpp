// Fuzz target: the decoder takes any bytes, never claims more than it was given, and a
// decoded instruction decodes the same from a buffer cut to its length; its text form is
// made from that cut buffer.
#include "crash/core/x86/x86_decoder.h"
#include "crash/core/x86/x86_text.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const crash::InstructionInfo info = crash::DecodeInstruction({data, size}, 0x401000);
    if (!info.Valid)
        return 0;
    if (info.Length == 0 || info.Length > size || info.Length > 15 || info.Next != info.This + info.Length)
        std::abort();
    crash::TInstructionParts parts;
    const crash::InstructionInfo again = crash::DecodeInstruction({data, info.Length}, 0x401000, parts);
    if (!again.Valid || again.Length != info.Length || again.Target != info.Target)
        std::abort();
    const crash::TInstructionText text = crash::InstructionText({data, info.Length}, again, parts);
    if (crash::InstructionLine(text).size() > 200)
        std::abort();
    return 0;
}
