#pragma once
// A table-driven decoder of 32-bit x86 instructions: the length of an instruction and
// what the crash reporter needs to know about calls and jumps (their statically known
// target, where the target field sits, the memory cell of an indirect call or jump).
// Platform-free: it decodes from a byte buffer given with the address it came from, and
// never reads past the buffer.

#include <cstdint>
#include <span>

namespace crash {

struct InstructionInfo
{
    bool Valid = false;
    uint16_t Opcode = 0; // 0x00-0xFF, or 0x0F00-0x0FFF for two-byte opcodes
    uint8_t ModRM = 0;
    bool Call = false;
    bool Jump = false;
    bool RelTarget = false;    // the target is relative to the next instruction
    uint32_t Target = 0;       // 0 when not statically known
    uint32_t TargetField = 0;  // address of the target field inside the instruction, 0 if none
    uint32_t TargetMemory = 0; // address of the memory cell holding the target ([disp32]), 0 if none
    uint8_t TargetSize = 0;    // bytes of the displacement or address field
    bool Enlargeable = false;  // a short jump that could be widened
    uint32_t This = 0;
    uint32_t Next = 0;
    uint8_t Length = 0;
};

// How a decoded instruction is made up, for its text form.
struct TInstructionParts
{
    bool Lock = false, Rep = false, RepNE = false, OperandSize = false, AddressSize = false;
    uint8_t Segment = 0;  // the last segment-override prefix byte, 0 if none
    uint8_t OpcodeAt = 0; // offset of the (first) opcode byte
    uint8_t Third = 0;    // the third opcode byte of 0F 38 / 0F 3A, or the 3DNow! suffix
    bool HasModRM = false, HasSib = false;
    uint8_t Sib = 0;
    uint8_t DispSize = 0;
    int32_t Disp = 0;
    uint8_t ImmSize = 0, Imm2Size = 0; // immediates in order (ENTER has two)
    uint32_t Imm = 0, Imm2 = 0;
};

// Decodes the instruction at the start of `code`, which lies at `address`. Invalid when the
// bytes are no instruction or the buffer ends inside it (at most 15 bytes are looked at).
InstructionInfo DecodeInstruction(std::span<const uint8_t> code, uint32_t address);
InstructionInfo DecodeInstruction(std::span<const uint8_t> code, uint32_t address, TInstructionParts& parts);

} // namespace crash
