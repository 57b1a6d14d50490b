#include "crash/core/x86/x86_decoder.h"

#include "base/byte_reader.h"

#include <algorithm>
#include <array>

namespace crash {
namespace {

// Operand kinds of an opcode, beyond its ModRM byte.
enum : uint8_t
{
    None = 0,
    ModRM = 1,   // a ModRM byte (with SIB and displacement) follows
    Imm8 = 2,    // an 8-bit immediate
    ImmZ = 4,    // a 16- or 32-bit immediate by operand size
    Imm16 = 8,   // a 16-bit immediate
    Rel8 = 16,   // an 8-bit relative target
    RelZ = 32,   // a 16- or 32-bit relative target
    Far = 64,    // a far pointer (offset by operand size, then a 16-bit selector)
    MOffs = 128, // an address by address size
};
constexpr uint16_t Prefix = 0x100, Invalid = 0x200, Group3 = 0x400, Imm16Imm8 = 0x800;

constexpr std::array<uint16_t, 256> OneByte = [] {
    std::array<uint16_t, 256> t{};
    for (int op = 0; op < 0x40; ++op) {
        const int low = op & 7;
        if (low < 4)
            t[op] = ModRM;
        else if (low == 4)
            t[op] = Imm8;
        else if (low == 5)
            t[op] = ImmZ;
    }
    for (int op : {0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65, 0x66, 0x67, 0xF0, 0xF2, 0xF3})
        t[op] = Prefix;
    t[0x0F] = None; // escape, decoded on its own
    t[0x62] = t[0x63] = ModRM;
    t[0x68] = ImmZ;
    t[0x69] = ModRM | ImmZ;
    t[0x6A] = Imm8;
    t[0x6B] = ModRM | Imm8;
    for (int op = 0x70; op <= 0x7F; ++op)
        t[op] = Rel8;
    t[0x80] = t[0x82] = t[0x83] = ModRM | Imm8;
    t[0x81] = ModRM | ImmZ;
    for (int op = 0x84; op <= 0x8F; ++op)
        t[op] = ModRM;
    t[0x9A] = Far;
    for (int op = 0xA0; op <= 0xA3; ++op)
        t[op] = MOffs;
    t[0xA8] = Imm8;
    t[0xA9] = ImmZ;
    for (int op = 0xB0; op <= 0xB7; ++op)
        t[op] = Imm8;
    for (int op = 0xB8; op <= 0xBF; ++op)
        t[op] = ImmZ;
    t[0xC0] = t[0xC1] = ModRM | Imm8;
    t[0xC2] = t[0xCA] = Imm16;
    t[0xC4] = t[0xC5] = ModRM;
    t[0xC6] = ModRM | Imm8;
    t[0xC7] = ModRM | ImmZ;
    t[0xC8] = Imm16Imm8;
    t[0xCD] = Imm8;
    for (int op = 0xD0; op <= 0xD3; ++op)
        t[op] = ModRM;
    t[0xD4] = t[0xD5] = Imm8;
    for (int op = 0xD8; op <= 0xDF; ++op)
        t[op] = ModRM;
    for (int op = 0xE0; op <= 0xE3; ++op)
        t[op] = Rel8;
    for (int op = 0xE4; op <= 0xE7; ++op)
        t[op] = Imm8;
    t[0xE8] = t[0xE9] = RelZ;
    t[0xEA] = Far;
    t[0xEB] = Rel8;
    t[0xF6] = ModRM | Group3 | Imm8;
    t[0xF7] = ModRM | Group3 | ImmZ;
    t[0xFE] = t[0xFF] = ModRM;
    return t;
}();

constexpr std::array<uint16_t, 256> TwoByte = [] {
    std::array<uint16_t, 256> t{};
    for (int op = 0; op < 256; ++op)
        t[op] = ModRM;
    for (int op : {0x05, 0x06, 0x07, 0x08, 0x09, 0x0B, 0x0E, 0x30, 0x31, 0x32, 0x33,
                   0x34, 0x35, 0x37, 0x77, 0xA0, 0xA1, 0xA2, 0xA8, 0xA9, 0xAA})
        t[op] = None;
    for (int op = 0xC8; op <= 0xCF; ++op)
        t[op] = None;
    for (int op = 0x80; op <= 0x8F; ++op)
        t[op] = RelZ;
    for (int op : {0x70, 0x71, 0x72, 0x73, 0xA4, 0xAC, 0xBA, 0xC2, 0xC4, 0xC5, 0xC6})
        t[op] = ModRM | Imm8;
    t[0x0F] = ModRM | Imm8; // 3DNow!: the real opcode follows as a suffix byte
    t[0x3A] = ModRM | Imm8; // three-byte maps: 0F 38 xx and 0F 3A xx (decoded below)
    for (int op : {0x04, 0x0A, 0x0C, 0x24, 0x25, 0x26, 0x27, 0x36, 0x39, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x7A,
                   0x7B, 0xA6, 0xA7, 0xFF})
        t[op] = Invalid;
    return t;
}();

// The longest instruction the processor accepts.
constexpr size_t MaxLength = 15;

} // namespace

InstructionInfo DecodeInstruction(std::span<const uint8_t> code, uint32_t address)
{
    TInstructionParts parts;
    return DecodeInstruction(code, address, parts);
}

InstructionInfo DecodeInstruction(std::span<const uint8_t> code, uint32_t address, TInstructionParts& parts)
{
    parts = {};
    InstructionInfo info;
    info.This = address;
    base::TByteReader r(code.first(std::min(code.size(), MaxLength)));
    bool operand16 = false, address16 = false;
    uint8_t op = 0;
    for (;;) {
        op = r.U8();
        if (!r.Ok())
            return info;
        if (!(OneByte[op] & Prefix))
            break;
        operand16 |= op == 0x66;
        address16 |= op == 0x67;
        parts.Lock |= op == 0xF0;
        parts.Rep |= op == 0xF3;
        parts.RepNE |= op == 0xF2;
        if (op == 0x26 || op == 0x2E || op == 0x36 || op == 0x3E || op == 0x64 || op == 0x65)
            parts.Segment = op;
    }
    parts.OperandSize = operand16;
    parts.AddressSize = address16;
    parts.OpcodeAt = static_cast<uint8_t>(r.Pos() - 1);
    uint16_t kind = OneByte[op];
    info.Opcode = op;
    uint8_t second = 0;
    if (op == 0x0F) {
        second = r.U8();
        if (!r.Ok())
            return info;
        info.Opcode = static_cast<uint16_t>(0x0F00 | second);
        kind = TwoByte[second];
        if (second == 0x38 || second == 0x3A) {
            parts.Third = r.U8();
            if (!r.Ok())
                return info;
        }
    }
    if (kind & Invalid)
        return info;

    const size_t sizeZ = operand16 ? 2 : 4;
    uint32_t memory = 0;
    if (kind & ModRM) {
        info.ModRM = r.U8();
        if (!r.Ok())
            return info;
        parts.HasModRM = true;
        const int mod = info.ModRM >> 6, rm = info.ModRM & 7;
        if (mod != 3) {
            if (address16) {
                const size_t disp = mod == 1 ? 1 : mod == 2 || (mod == 0 && rm == 6) ? 2 : 0;
                parts.Disp = disp ? r.Signed(disp) : 0;
                if (!r.Ok())
                    return info;
                parts.DispSize = static_cast<uint8_t>(disp);
            } else {
                size_t disp = mod == 1 ? 1 : mod == 2 ? 4 : 0;
                bool absolute = mod == 0 && rm == 5;
                if (rm == 4) {
                    const uint8_t sib = r.U8();
                    if (!r.Ok())
                        return info;
                    parts.HasSib = true;
                    parts.Sib = sib;
                    if (mod == 0 && (sib & 7) == 5)
                        disp = 4;
                } else if (absolute) {
                    disp = 4;
                }
                const int32_t value = disp ? r.Signed(disp) : 0;
                if (!r.Ok())
                    return info;
                parts.DispSize = static_cast<uint8_t>(disp);
                parts.Disp = value;
                if (absolute)
                    memory = static_cast<uint32_t>(value);
            }
        }
        // Group members that do not exist: INC/DEC Eb only, and no FF /7.
        const int reg = (info.ModRM >> 3) & 7;
        if ((op == 0xFE && reg > 1) || (op == 0xFF && reg == 7))
            return info;
        // TEST r/m, imm is the only member of its group with an immediate.
        if ((kind & Group3) && ((info.ModRM >> 3) & 7) > 1)
            kind &= static_cast<uint16_t>(~(Imm8 | ImmZ));
    }
    const size_t fieldAt = r.Pos();
    r.Skip((kind & Imm8 ? 1 : 0) + (kind & ImmZ ? sizeZ : 0) + (kind & Imm16 ? 2 : 0) +
           (kind & Imm16Imm8 ? 3 : 0) + (kind & MOffs ? (address16 ? 2 : 4) : 0));
    const int32_t value = kind & Rel8 ? r.Signed(1) : kind & RelZ ? r.Signed(sizeZ) : 0;
    const int32_t farOffset = kind & Far ? r.Signed(sizeZ) : 0;
    if (kind & Far)
        r.Skip(2);
    if (!r.Ok())
        return info;

    info.Length = static_cast<uint8_t>(r.Pos());
    info.Next = address + info.Length;
    info.Valid = true;
    // The immediates, as the text form shows them.
    const size_t immediates = info.Length - fieldAt;
    if (kind & Imm16Imm8) {
        parts.ImmSize = 2;
        parts.Imm = static_cast<uint32_t>(r.FixedAt(fieldAt, 2));
        parts.Imm2Size = 1;
        parts.Imm2 = static_cast<uint32_t>(r.FixedAt(fieldAt + 2, 1));
    } else if (op == 0x0F && second == 0x0F) {
        parts.Third = static_cast<uint8_t>(r.FixedAt(fieldAt, 1)); // the 3DNow! suffix
    } else if (immediates > 0 && immediates <= 4 && !(kind & Far)) {
        parts.ImmSize = static_cast<uint8_t>(immediates);
        parts.Imm = static_cast<uint32_t>(r.FixedAt(fieldAt, immediates));
    } else if (kind & Far) {
        parts.ImmSize = static_cast<uint8_t>(sizeZ);
        parts.Imm = static_cast<uint32_t>(r.FixedAt(fieldAt, sizeZ));
        parts.Imm2Size = 2;
        parts.Imm2 = static_cast<uint32_t>(r.FixedAt(fieldAt + sizeZ, 2));
    }

    if (kind & (Rel8 | RelZ)) {
        info.Call = op == 0xE8;
        info.Jump = !info.Call;
        info.RelTarget = true;
        info.TargetSize = static_cast<uint8_t>(kind & Rel8 ? 1 : sizeZ);
        info.TargetField = address + static_cast<uint32_t>(fieldAt);
        info.Target = info.Next + static_cast<uint32_t>(value);
        if (operand16)
            info.Target &= 0xFFFF;
        // Short jumps (not LOOP and JCXZ) have a near form the target could move to.
        info.Enlargeable = (kind & Rel8) && op != 0xE0 && op != 0xE1 && op != 0xE2 && op != 0xE3;
    } else if (kind & Far) {
        info.Call = op == 0x9A;
        info.Jump = op == 0xEA;
        info.Target = static_cast<uint32_t>(farOffset);
        info.TargetField = address + static_cast<uint32_t>(fieldAt);
        info.TargetSize = static_cast<uint8_t>(sizeZ);
    } else if (op == 0xFF) {
        const int reg = (info.ModRM >> 3) & 7;
        info.Call = reg == 2 || reg == 3;
        info.Jump = reg == 4 || reg == 5;
        if ((info.Call || info.Jump) && memory) {
            info.TargetMemory = memory;
            info.TargetSize = 4;
        }
    }
    return info;
}

} // namespace crash
