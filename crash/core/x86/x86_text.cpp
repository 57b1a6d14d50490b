#include "crash/core/x86/x86_text.h"

#include <cstdio>
#include <optional>
#include <string_view>

namespace crash {
namespace {

#include "crash/core/x86/x86_tables.inc"

const char* const Reg8[] = {"al", "cl", "dl", "bl", "ah", "ch", "dh", "bh"};
const char* const Reg16[] = {"ax", "cx", "dx", "bx", "sp", "bp", "si", "di"};
const char* const Reg32[] = {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"};
const char* const SegReg[] = {"es", "cs", "ss", "ds", "fs", "gs", "?", "?"};
const char* const CmpPredicates[] = {"eq", "lt", "le", "unord", "neq", "nlt", "nle", "ord"};

std::string Hex(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", v);
    return text;
}

std::string BareHex(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", v);
    return text;
}

std::string SignedHex(int32_t v)
{
    return v < 0 ? "-" + Hex(0u - static_cast<uint32_t>(v)) : "+" + Hex(static_cast<uint32_t>(v));
}

const char* SegmentName(uint8_t prefix)
{
    switch (prefix) {
    case 0x26:
        return "es";
    case 0x2E:
        return "cs";
    case 0x36:
        return "ss";
    case 0x3E:
        return "ds";
    case 0x64:
        return "fs";
    case 0x65:
        return "gs";
    default:
        return nullptr;
    }
}

const char* SizeName(char size, bool operand16)
{
    switch (size) {
    case 'b':
        return "BYTE PTR ";
    case 'w':
        return "WORD PTR ";
    case 'd':
        return "DWORD PTR ";
    case 'q':
        return "QWORD PTR ";
    case 't':
        return "TBYTE PTR ";
    case 'x':
        return "XMMWORD PTR ";
    case 'p':
        return operand16 ? "DWORD PTR " : "FWORD PTR ";
    case 'v':
        return operand16 ? "WORD PTR " : "DWORD PTR ";
    default:
        return "";
    }
}

class Formatter
{
public:
    Formatter(const InstructionInfo& info, const TInstructionParts& parts) : I(info), P(parts) {}

    int Mod() const { return I.ModRM >> 6; }
    int Reg() const { return I.ModRM >> 3 & 7; }
    int Rm() const { return I.ModRM & 7; }

    std::string Memory(char size) const
    {
        std::string text = SizeName(size, P.OperandSize);
        const char* segment = SegmentName(P.Segment);
        if (P.AddressSize) {
            static const char* const Bases[] = {"bx+si", "bx+di", "bp+si", "bp+di", "si", "di", "bp", "bx"};
            if (Mod() == 0 && Rm() == 6)
                return text + (segment ? segment : "ds") + ":" + Hex(static_cast<uint16_t>(P.Disp));
            std::string inner = Bases[Rm()];
            if (Mod() != 0)
                inner += SignedHex(P.Disp);
            return text + (segment ? std::string(segment) + ":" : "") + "[" + inner + "]";
        }
        if (Mod() == 0 && Rm() == 5)
            return text + (segment ? segment : "ds") + ":" + Hex(static_cast<uint32_t>(P.Disp));
        std::string inner;
        bool base = true;
        if (P.HasSib) {
            const int b = P.Sib & 7, index = P.Sib >> 3 & 7, scale = 1 << (P.Sib >> 6);
            base = !(b == 5 && Mod() == 0);
            if (base)
                inner = Reg32[b];
            if (index != 4)
                inner += (inner.empty() ? "" : "+") + std::string(Reg32[index]) + "*" + std::to_string(scale);
        } else {
            inner = Reg32[Rm()];
        }
        if (!base)
            inner += (inner.empty() ? "" : "+") + Hex(static_cast<uint32_t>(P.Disp));
        else if (Mod() != 0)
            inner += SignedHex(P.Disp);
        return text + (segment ? std::string(segment) + ":" : "") + "[" + inner + "]";
    }

    std::string General(int reg, char size) const
    {
        if (size == 'b')
            return Reg8[reg];
        if (size == 'w' || (size == 'v' && P.OperandSize))
            return Reg16[reg];
        return Reg32[reg];
    }

    std::string Immediate(std::string_view code) const
    {
        if (code == "Ib")
            return Hex(P.ImmSize == 2 && P.Imm2Size ? P.Imm2 : P.Imm & 0xFF);
        if (code == "Iw")
            return Hex(P.Imm & 0xFFFF);
        if (code == "Iz")
            return Hex(P.Imm);
        if (code == "Is") {
            const auto v = static_cast<uint32_t>(static_cast<int8_t>(P.Imm & 0xFF));
            return Hex(P.OperandSize ? v & 0xFFFF : v);
        }
        return "1";
    }

    std::string Operand(std::string_view code) const
    {
        if (code == "AL" || code == "CL" || code == "DX")
            return code == "AL" ? "al" : code == "CL" ? "cl" : "dx";
        if (code == "eAX")
            return P.OperandSize ? "ax" : "eax";
        if (code == "I1")
            return "1";
        if (code == "M")
            return Memory(' '); // an address without a size (LEA, FXSAVE, ...)
        if (code == "st")
            return "st";
        if (code == "sti")
            return "st(" + std::to_string(Rm()) + ")";
        if (code.size() != 2)
            return std::string(code); // a literal register (es, cs, ...)
        const char kind = code[0], size = code[1];
        switch (kind) {
        case 'E':
            return Mod() == 3 ? General(Rm(), size) : Memory(size);
        case 'M':
            return Memory(size);
        case 'G':
            return General(Reg(), size);
        case 'Z':
            return General(OpcodeByte & 7, size);
        case 'R':
            return Reg32[Rm()];
        case 'S':
            return SegReg[Reg()];
        case 'C':
            return "cr" + std::to_string(Reg());
        case 'D':
            return "db" + std::to_string(Reg());
        case 'I':
            return Immediate(code);
        case 'J':
            return BareHex(I.Target);
        case 'A':
            return Hex(P.Imm2) + ":" + Hex(P.Imm);
        case 'O':
            return std::string(SegmentName(P.Segment) ? SegmentName(P.Segment) : "ds") + ":" +
                   Hex(P.AddressSize ? P.Imm & 0xFFFF : P.Imm);
        case 'X':
        case 'Y': {
            const char* segment = kind == 'X' && SegmentName(P.Segment) ? SegmentName(P.Segment) : nullptr;
            const std::string reg =
                P.AddressSize ? (kind == 'X' ? "si" : "di") : (kind == 'X' ? "esi" : "edi");
            return SizeName(size, P.OperandSize) +
                   std::string(segment       ? segment
                               : kind == 'X' ? "ds"
                                             : "es") +
                   ":[" + reg + "]";
        }
        case 'P':
            return "mm" + std::to_string(Reg());
        case 'N':
            return "mm" + std::to_string(Rm());
        case 'Q':
            return Mod() == 3 ? "mm" + std::to_string(Rm()) : Memory(size);
        case 'V':
            return "xmm" + std::to_string(Reg());
        case 'U':
            return "xmm" + std::to_string(Rm());
        case 'W':
            return Mod() == 3 ? "xmm" + std::to_string(Rm()) : Memory(size);
        default:
            return std::string(code);
        }
    }

    // Fills `text` from a table entry "mnemonic operands" (operands comma-separated).
    void Entry(std::string_view entry, TInstructionText& text) const
    {
        const size_t space = entry.find(' ');
        text.Mnemonic = std::string(entry.substr(0, space));
        if (space == std::string_view::npos)
            return;
        std::string_view operands = entry.substr(space + 1);
        while (!operands.empty()) {
            const size_t comma = operands.find(',');
            text.Operands.push_back(Operand(operands.substr(0, comma)));
            operands = comma == std::string_view::npos ? std::string_view() : operands.substr(comma + 1);
        }
    }

    const InstructionInfo& I;
    TInstructionParts P;    // prefixes that picked an SSE form are taken out of it
    uint8_t OpcodeByte = 0; // the byte whose low bits may name a register
};

// The form of a two-byte entry for the instruction's prefixes: "none|66|F3|F2". The
// prefix that picked a form is no longer an operand-size or repeat prefix.
std::string_view PrefixForm(std::string_view entry, TInstructionParts& parts)
{
    if (entry.find('|') == std::string_view::npos)
        return entry;
    std::string_view forms[4];
    for (int i = 0; i < 4; ++i) {
        const size_t bar = entry.find('|');
        forms[i] = entry.substr(0, bar);
        entry = bar == std::string_view::npos ? std::string_view() : entry.substr(bar + 1);
    }
    if (parts.Rep && !forms[2].empty()) {
        parts.Rep = false;
        return forms[2];
    }
    if (parts.RepNE && !forms[3].empty()) {
        parts.RepNE = false;
        return forms[3];
    }
    if (parts.OperandSize && !forms[1].empty()) {
        parts.OperandSize = false;
        return forms[1];
    }
    return forms[0];
}

// The member of group "#n" that the reg field names, with the entry's operands; nothing
// for a member that does not exist.
std::optional<std::pair<std::string, std::string>> GroupMember(const std::string& entry, int reg)
{
    const char* name = Groups[std::stoi(entry.substr(1))][reg];
    if (!name || !*name)
        return std::nullopt;
    const size_t space = entry.find(' ');
    return std::make_pair(std::string(name),
                          space == std::string::npos ? std::string() : entry.substr(space + 1));
}

const char* Find(const TSuffix* table, size_t n, uint8_t suffix)
{
    for (size_t i = 0; i < n; ++i)
        if (table[i].Suffix == suffix)
            return table[i].Mnemonic;
    return nullptr;
}

} // namespace

TInstructionText InstructionText(std::span<const uint8_t> code, const InstructionInfo& info,
                                 const TInstructionParts& parts)
{
    TInstructionText text;
    if (!info.Valid || code.size() <= parts.OpcodeAt)
        return text;
    Formatter f(info, parts);
    TInstructionParts& p = f.P;
    const uint8_t op = code[parts.OpcodeAt];
    f.OpcodeByte = op;
    std::string entry;

    if (op == 0x0F) {
        const uint8_t second = static_cast<uint8_t>(info.Opcode & 0xFF);
        f.OpcodeByte = second;
        if (second == 0x0F) {
            const char* name = Find(Amd3DNow, std::size(Amd3DNow), parts.Third);
            if (!name)
                return {};
            entry = std::string(name) + " Pq,Qq";
        } else if (second == 0x38 || second == 0x3A) {
            text.BeyondSse3 = true;
            const char* name = second == 0x38        ? Find(Ssse3, std::size(Ssse3), parts.Third)
                               : parts.Third == 0x0F ? "palignr"
                                                     : nullptr;
            const bool sse = p.OperandSize;
            p.OperandSize = false;
            entry = name ? std::string(name) + (sse ? " Vx,Wx" : " Pq,Qq") + (second == 0x3A ? ",Ib" : "")
                         : std::string("(beyond-sse3)");
        } else if (second >= 0x71 && second <= 0x73) {
            const bool sse = p.OperandSize;
            p.OperandSize = false;
            const char* name = ShiftGroups[second - 0x71][f.Reg()];
            if (!*name || f.Mod() != 3 || (!sse && (f.Reg() == 3 || f.Reg() == 7)))
                return {};
            entry = std::string(name) + (sse ? " Ux,Ib" : " Nq,Ib");
        } else if (second == 0x01 && f.Mod() == 3) {
            static const TSuffix Forms[] = {{0xC8, "monitor"}, {0xC9, "mwait"},  {0xD0, "xgetbv"},
                                            {0xD1, "xsetbv"},  {0xF8, "swapgs"}, {0xF9, "rdtscp"}};
            const char* name = Find(Forms, std::size(Forms), info.ModRM);
            if (!name)
                return {};
            entry = name;
        } else if (second == 0xAE && f.Mod() == 3) {
            static const char* const Fences[] = {"", "", "", "", "", "lfence", "mfence", "sfence"};
            if (!*Fences[f.Reg()])
                return {};
            entry = Fences[f.Reg()];
        } else if ((second == 0x12 || second == 0x16) && f.Mod() == 3 && !p.OperandSize && !p.Rep &&
                   !p.RepNE) {
            entry = second == 0x12 ? "movhlps Vx,Ux" : "movlhps Vx,Ux";
        } else if (second == 0xC7 && f.Mod() == 3) {
            if (f.Reg() != 6 && f.Reg() != 7)
                return {};
            text.BeyondSse3 = true;
            entry = f.Reg() == 6 ? "rdrand Rd" : "rdseed Rd";
        } else {
            entry = std::string(PrefixForm(TwoByteMap[second], p));
            if (entry.empty())
                return {};
            if (entry[0] == '#') {
                const auto member = GroupMember(entry, f.Reg());
                if (!member)
                    return {};
                entry = member->first + " " + member->second;
            }
            if (second == 0xC2 && (parts.Imm & 0xFF) < 8) {
                // The compare predicates are spelled as mnemonics: cmpltps, cmpnlesd, ...
                const size_t space = entry.find(' ');
                entry = "cmp" + std::string(CmpPredicates[parts.Imm & 7]) + entry.substr(3, space - 3) +
                        entry.substr(space, entry.rfind(',') - space);
            }
        }
    } else if (op >= 0xD8 && op <= 0xDF) {
        const int row = op - 0xD8;
        if (f.Mod() != 3) {
            const std::string form = FpuMemory[row][f.Reg()];
            if (form.empty())
                return {};
            const size_t space = form.find(' ');
            text.Mnemonic = form.substr(0, space);
            text.Operands.push_back(f.Memory(form[space + 1] == '-' ? ' ' : form[space + 1]));
        } else {
            for (const TFpuSingle& s : FpuSingle)
                if (s.Opcode == op && s.ModRM == info.ModRM)
                    entry = s.Text;
            if (entry.empty())
                entry = FpuRegister[row][f.Reg()];
            if (entry.empty())
                return {};
            f.Entry(entry, text);
        }
        entry.clear();
    } else if (op == 0x90) {
        entry = p.Rep ? "pause" : p.OperandSize ? "xchg ax,ax" : "nop";
        p.Rep = false;
    } else if (op == 0x98 || op == 0x99) {
        entry = op == 0x98 ? (p.OperandSize ? "cbw" : "cwde") : (p.OperandSize ? "cwd" : "cdq");
    } else if (op == 0xD7) {
        entry = "xlat Xb";
        // objdump names the table through ebx.
        f.Entry(entry, text);
        text.Operands[0] = std::string("BYTE PTR ") +
                           (SegmentName(p.Segment) ? SegmentName(p.Segment) : "ds") +
                           (p.AddressSize ? ":[bx]" : ":[ebx]");
        entry.clear();
    } else {
        entry = OneByteMap[op];
        if (entry.empty())
            return {};
        if (entry[0] == '#') {
            const int group = std::stoi(entry.substr(1));
            const auto member = GroupMember(entry, f.Reg());
            if (!member)
                return {};
            const std::string& name = member->first;
            std::string operands = member->second;
            // Of the F6/F7 group only TEST takes an immediate; FF's far forms address memory.
            if (group == 3 && f.Reg() < 2)
                operands += op == 0xF6 ? ",Ib" : ",Iz";
            if (group == 5 && (f.Reg() == 3 || f.Reg() == 5))
                operands = "Mp";
            entry = name + " " + operands;
        }
    }
    if (!entry.empty())
        f.Entry(entry, text);

    if (p.Lock)
        text.Prefixes += "lock ";
    if (p.RepNE)
        text.Prefixes += "repne ";
    else if (p.Rep)
        text.Prefixes += "rep ";
    return text;
}

std::string InstructionLine(const TInstructionText& text)
{
    std::string line = text.Prefixes + text.Mnemonic;
    for (size_t i = 0; i < text.Operands.size(); ++i)
        line += (i ? "," : " ") + text.Operands[i];
    return line;
}

} // namespace crash
