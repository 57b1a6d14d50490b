#include "crash/core/x86/x86_function.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace crash {
namespace {

constexpr size_t MaxAreas = 4096;
constexpr int MaxInstructionsPerArea = 65536;
constexpr uint32_t GapFillRange = 1024;

bool IsReturn(const InstructionInfo& i)
{
    return i.Opcode == 0xC2 || i.Opcode == 0xC3 || i.Opcode == 0xCA || i.Opcode == 0xCB || i.Opcode == 0xCF;
}

bool IsUnconditionalJump(const InstructionInfo& i)
{
    return i.Opcode == 0xE9 || i.Opcode == 0xEA || i.Opcode == 0xEB || (i.Opcode == 0xFF && i.Jump);
}

class Analyser
{
public:
    Analyser(ICodeMemory& memory, const TRuntimeEntries& runtime, TFunctionInfo& info)
        : M(memory), RT(runtime), F(info)
    {
    }

    void Run(uint32_t entry)
    {
        F.EntryPoint = entry;
        F.IsValid = true;
        if (const auto range = M.CodeRange(entry))
            std::tie(Low, High) = *range;
        else
            Low = High = 0;
        AddArea(entry, 0, {});
        for (;;) {
            while (const auto open = FirstOpen())
                Parse(*open);
            if (!ResolveUnknownTargets() && !FillGap())
                break;
        }
        Finish();
    }

private:
    bool InRange(uint32_t a) const { return a >= Low && a < High; }

    // The runtime's routines are other functions, whatever module they are in.
    bool IsRuntime(uint32_t a) const
    {
        return a == RT.HandleAnyException || a == RT.HandleOnException || a == RT.HandleAutoException ||
               a == RT.HandleFinally ||
               std::find(RT.NoReturn.begin(), RT.NoReturn.end(), a) != RT.NoReturn.end();
    }

    // Decodes at `address`, filling in targets read from memory or known registers.
    bool Decode(uint32_t address, const TRegisterState& regs, InstructionInfo& info, TInstructionParts& parts)
    {
        uint8_t bytes[15];
        const size_t n = M.ReadUpTo(address, bytes, 15);
        info = DecodeInstruction({bytes, n}, address, parts);
        if (!info.Valid)
            return false;
        if ((info.Call || info.Jump) && !info.Target) {
            const bool fromMemory = info.TargetMemory && M.ReadDword(info.TargetMemory, info.Target);
            if (!fromMemory && info.Opcode == 0xFF && (info.ModRM >> 6) == 3 && regs[info.ModRM & 7])
                info.Target = *regs[info.ModRM & 7];
        }
        return true;
    }

    std::optional<size_t> FirstOpen() const
    {
        for (size_t i = 0; i < F.CodeAreas.size(); ++i)
            if (F.CodeAreas[i].AreaEnd == 0 && !Failed[i])
                return i;
        return std::nullopt;
    }

    const TCodeArea* Starting(uint32_t a) const { return AreaAt(F, a); }

    // A new area at `begin`, unless one starts there. A target inside an area that was
    // parsed already (a loop, a block laid out before its jump) is an area too: it is parsed
    // on its own, and the older area is cut where it begins (Partition).
    bool AddArea(uint32_t begin, uint32_t from, const TRegisterState& regs, bool caseBlock = false,
                 uint32_t end = 0, bool onExcept = false)
    {
        if (Starting(begin) || F.CodeAreas.size() >= MaxAreas)
            return false;
        TCodeArea area;
        area.AreaBegin = begin;
        area.AreaEnd = end;
        area.CaseBlock = caseBlock;
        area.OnExceptBlock = onExcept;
        area.CalledFrom = from;
        area.Registers = regs;
        F.CodeAreas.push_back(area);
        Failed.push_back(false);
        return true;
    }

    // A call or jump: a jump into the code range starts an area (unless it is the one jump
    // of a thunk), one with a known target elsewhere is a far transfer, one without an
    // unknown target. An instruction parsed twice (areas overlap until Partition) is kept
    // once. True when a new area was added.
    bool Transfer(const InstructionInfo& i, const TRegisterState& regs)
    {
        const bool thunk = i.This == F.EntryPoint && IsUnconditionalJump(i);
        if (i.Target && i.Jump && !thunk && InRange(i.Target) && i.Opcode != 0xEA && !IsRuntime(i.Target))
            return AddArea(i.Target, i.This, regs);
        if (!Recorded.insert(i.This).second)
            return false;
        if (i.Target)
            F.FarCalls.push_back(
                {i.Call, i.This, i.Next, i.Target, i.RelTarget, i.TargetField, i.TargetMemory});
        else
            F.UnknownTargets.push_back({i.Call, i.This, i.Next});
        return false;
    }

    void Error(uint32_t address, uint32_t number, const char* text)
    {
        F.IsValid = false;
        if (F.LastErrorNo)
            return;
        F.LastErrorAddr = address;
        F.LastErrorNo = number;
        F.LastErrorStr = text;
    }

    static void Track(const InstructionInfo& i, const TInstructionParts& p, TRegisterState& regs)
    {
        const int op = i.Opcode, mod = i.ModRM >> 6, reg = i.ModRM >> 3 & 7, rm = i.ModRM & 7;
        if (op >= 0xB8 && op <= 0xBF && !p.OperandSize) {
            regs[op - 0xB8] = p.Imm;
            return;
        }
        if ((op == 0x31 || op == 0x33 || op == 0x29 || op == 0x2B) && mod == 3 && reg == rm) {
            regs[reg] = 0u;
            return;
        }
        // Anything else that may write a register makes it unknown.
        if (op >= 0x40 && op <= 0x4F)
            regs[op & 7].reset();
        else if (op >= 0x58 && op <= 0x5F)
            regs[op & 7].reset();
        else if (op >= 0x91 && op <= 0x97) {
            regs[0].reset();
            regs[op & 7].reset();
        } else if (op >= 0x0FC8 && op <= 0x0FCF)
            regs[op & 7].reset();
        const bool toReg = op < 0x40 ? (op & 7) == 2 || (op & 7) == 3
                                     : op == 0x8A || op == 0x8B || op == 0x8D || op == 0x0FB6 ||
                                           op == 0x0FB7 || op == 0x0FBE || op == 0x0FBF || op == 0x0FAF ||
                                           op == 0x69 || op == 0x6B || (op >= 0x0F40 && op <= 0x0F4F);
        if (p.HasModRM && toReg)
            regs[reg].reset();
        else if (p.HasModRM && mod == 3)
            regs[rm].reset();
        if (op < 0x40 && ((op & 7) == 4 || (op & 7) == 5))
            regs[0].reset();
        if (op == 0x99 || op == 0xF7 || op == 0xA1 || op == 0xE8 || op == 0xFF || op == 0x0FA2 ||
            op == 0x0F31) {
            // Calls and multiplications leave eax, ecx and edx unknown.
            regs[0].reset();
            regs[1].reset();
            regs[2].reset();
            if (op == 0x0FA2)
                regs[3].reset();
        }
    }

    void Parse(size_t index)
    {
        const uint32_t begin = F.CodeAreas[index].AreaBegin;
        TRegisterState regs = F.CodeAreas[index].Registers;
        uint32_t a = begin;
        int caseCount = -1, caseReg = -1, pendingCompare = -1, compareReg = -1;
        uint32_t pushed = 0;
        for (int n = 0;; ++n) {
            if (a != begin && Starting(a)) {
                F.CodeAreas[index].AreaEnd = a - 1;
                return;
            }
            InstructionInfo i;
            TInstructionParts p;
            if (n >= MaxInstructionsPerArea || !Decode(a, regs, i, p)) {
                Error(a, 1, "Invalid instruction");
                if (a == begin)
                    Failed[index] = true;
                F.CodeAreas[index].AreaEnd = a; // the listing shows the byte that is no instruction
                return;
            }
            // Case tables: cmp r32, imm8, then ja/jg (imm + 1 cases) or jae/jge (imm cases).
            if (i.Opcode == 0x83 && i.ModRM >= 0xF8) {
                pendingCompare = static_cast<int>(p.Imm & 0xFF);
                compareReg = i.ModRM & 7;
            } else if (pendingCompare >= 0) {
                const uint16_t o = i.Opcode;
                if (o == 0x77 || o == 0x7F || o == 0x0F87 || o == 0x0F8F) {
                    caseCount = pendingCompare + 1;
                    caseReg = compareReg;
                } else if (o == 0x73 || o == 0x7D || o == 0x0F83 || o == 0x0F8D) {
                    caseCount = pendingCompare;
                    caseReg = compareReg;
                }
                pendingCompare = -1;
            }
            // Exception frames: push imm32, then push [reg] (zero) or [0] with fs:.
            if (i.Opcode == 0x68) {
                pushed = p.Imm;
            } else if (pushed && p.Segment == 0x64) {
                const bool byZeroReg = i.Opcode == 0xFF && i.ModRM >= 0x30 && i.ModRM <= 0x37 &&
                                       i.ModRM != 0x34 && i.ModRM != 0x35 && regs[i.ModRM & 7] == 0u;
                const bool byZero = i.Opcode == 0xFF && i.ModRM == 0x35 && p.Disp == 0;
                if ((byZeroReg || byZero) && InRange(pushed))
                    AddArea(pushed, i.This, {});
                pushed = 0;
            } else {
                pushed = 0;
            }

            if (i.Call || i.Jump) {
                Transfer(i, regs);
                const bool known = i.Target != 0;
                // The runtime's exception handlers come back to the code after the jump.
                if (i.Opcode == 0xE9 && known && RT.HandleOnException && i.Target == RT.HandleOnException)
                    ExceptionTable(i.Next, i.This);
                else if (i.Opcode == 0xE9 && known &&
                         ((RT.HandleAnyException && i.Target == RT.HandleAnyException) ||
                          (RT.HandleAutoException && i.Target == RT.HandleAutoException) ||
                          (RT.HandleFinally && i.Target == RT.HandleFinally)))
                    AddArea(i.Next, i.This, {});
            }
            if (i.Opcode == 0xFF && i.ModRM == 0x24 && p.HasSib && caseCount > 0) {
                const int scale = p.Sib >> 6, indexReg = p.Sib >> 3 & 7, base = p.Sib & 7;
                if (scale == 2 && indexReg == caseReg && base == 5 && static_cast<uint32_t>(p.Disp) == i.Next)
                    CaseTable(i.Next, static_cast<uint32_t>(caseCount), i.This, regs);
            }
            Track(i, p, regs);
            const bool noReturn =
                i.Call && i.Target &&
                std::find(RT.NoReturn.begin(), RT.NoReturn.end(), i.Target) != RT.NoReturn.end();
            if (IsReturn(i) || IsUnconditionalJump(i) || noReturn) {
                F.CodeAreas[index].AreaEnd = i.Next - 1;
                return;
            }
            a = i.Next;
            if (a == 0) {
                Error(i.This, 2, "Code runs past the end of the address space");
                F.CodeAreas[index].AreaEnd = i.Next - 1;
                return;
            }
        }
    }

    void CaseTable(uint32_t table, uint32_t count, uint32_t from, const TRegisterState& regs)
    {
        if (count > 1024)
            return;
        AddArea(table, from, {}, true, table + 4 * count - 1);
        for (uint32_t k = 0; k < count; ++k) {
            uint32_t target;
            if (!M.ReadDword(table + 4 * k, target))
                break;
            if (InRange(target))
                AddArea(target, table + 4 * k, regs);
        }
    }

    // The table after a jump to the runtime's HandleOnException: a count, then per entry
    // the exception class and the handler.
    void ExceptionTable(uint32_t table, uint32_t from)
    {
        uint32_t count;
        if (!M.ReadDword(table, count) || count == 0 || count > 256)
            return;
        AddArea(table, from, {}, false, table + 4 + 8 * count - 1, true);
        for (uint32_t k = 0; k < count; ++k) {
            uint32_t handler;
            if (M.ReadDword(table + 4 + 8 * k + 4, handler) && InRange(handler))
                AddArea(handler, table, {});
        }
    }

    // Decodes unknown targets again with their area's register state; true when one led to
    // a new area.
    bool ResolveUnknownTargets()
    {
        bool added = false;
        for (auto it = F.UnknownTargets.begin(); it != F.UnknownTargets.end();) {
            const TCodeArea* area = nullptr;
            for (const TCodeArea& c : F.CodeAreas)
                if (it->CodeAddr1 >= c.AreaBegin && it->CodeAddr1 <= c.AreaEnd)
                    area = &c;
            InstructionInfo i;
            TInstructionParts p;
            if (area && Decode(it->CodeAddr1, area->Registers, i, p) && i.Target) {
                it = F.UnknownTargets.erase(it);
                Recorded.erase(i.This);
                added = Transfer(i, area->Registers) || added;
                Recorded.insert(i.This); // settled: a later parse of it records nothing
                continue;
            }
            ++it;
        }
        return added;
    }

    // With an indirect jump left unresolved, code may follow that no jump reached: the byte
    // after the first run of adjoining areas is parsed when a higher area lies close above.
    bool FillGap()
    {
        if (GapFillDone || std::none_of(F.UnknownTargets.begin(), F.UnknownTargets.end(),
                                        [](const TUnknownTarget& u) { return !u.Call; }))
            return false;
        std::vector<const TCodeArea*> sorted;
        for (const TCodeArea& c : F.CodeAreas)
            sorted.push_back(&c);
        std::sort(sorted.begin(), sorted.end(), [](auto* x, auto* y) { return x->AreaBegin < y->AreaBegin; });
        uint32_t runEnd = sorted.front()->AreaEnd;
        for (size_t k = 1; k < sorted.size() && sorted[k]->AreaBegin <= runEnd + 1; ++k)
            runEnd = std::max(runEnd, sorted[k]->AreaEnd);
        uint32_t highest = 0;
        for (const TCodeArea* c : sorted)
            highest = std::max(highest, c->AreaEnd);
        if (highest <= runEnd || highest - runEnd >= GapFillRange || Starting(runEnd + 1)) {
            GapFillDone = true;
            return false;
        }
        const size_t before = F.CodeAreas.size();
        const bool valid = F.IsValid;
        const TFunctionInfo saved = F;
        const std::set<uint32_t> savedRecorded = Recorded;
        AddArea(runEnd + 1, 0, {});
        if (F.CodeAreas.size() == before)
            return false;
        Parse(F.CodeAreas.size() - 1);
        if (Failed.back() || (valid && !F.IsValid)) {
            F = saved; // the gap was no code: drop the area and stop filling
            Recorded = savedRecorded;
            Failed.resize(F.CodeAreas.size());
            GapFillDone = true;
            return false;
        }
        return true;
    }

    // A jump back into the area being parsed starts an area inside it: the earlier area
    // then ends where the later begins (what lies beyond the later one stays an area).
    void Partition()
    {
        std::sort(F.CodeAreas.begin(), F.CodeAreas.end(),
                  [](const TCodeArea& a, const TCodeArea& b) { return a.AreaBegin < b.AreaBegin; });
        for (size_t k = 0; k + 1 < F.CodeAreas.size(); ++k) {
            TCodeArea& cur = F.CodeAreas[k];
            const TCodeArea& next = F.CodeAreas[k + 1];
            if (next.AreaBegin > cur.AreaEnd || cur.CaseBlock || cur.OnExceptBlock)
                continue;
            const uint32_t end = cur.AreaEnd;
            cur.AreaEnd = next.AreaBegin - 1;
            if (end > next.AreaEnd && !Starting(next.AreaEnd + 1)) {
                TCodeArea rest = cur;
                rest.AreaBegin = next.AreaEnd + 1;
                rest.AreaEnd = end;
                rest.CalledFrom = 0;
                F.CodeAreas.insert(F.CodeAreas.begin() + static_cast<std::ptrdiff_t>(k) + 2, rest);
            }
        }
    }

    void Finish()
    {
        for (size_t k = 0; k < F.CodeAreas.size(); ++k)
            if (Failed[k])
                F.CodeAreas[k].AreaEnd = F.CodeAreas[k].AreaBegin;
        Partition();
        uint32_t lowest = UINT32_MAX, highest = 0;
        for (const TCodeArea& c : F.CodeAreas) {
            lowest = std::min(lowest, c.AreaBegin);
            highest = std::max(highest, c.AreaEnd);
        }
        F.CodeBegin = lowest;
        F.CodeLen = highest >= lowest ? highest - lowest + 1 : 0;
        // The first five bytes can be patched when they are whole instructions of the entry
        // area that no jump leads into.
        uint32_t a = F.EntryPoint;
        bool clean = true;
        while (clean && a - F.EntryPoint < 5) {
            InstructionInfo i;
            TInstructionParts p;
            clean = Decode(a, {}, i, p) && !IsReturn(i) && !(i.Jump && a == F.EntryPoint && i.Length < 5);
            a = i.Next;
            for (const TCodeArea& c : F.CodeAreas)
                clean = clean && !(c.AreaBegin > F.EntryPoint && c.AreaBegin < F.EntryPoint + 5);
        }
        F.Interceptable = clean;
        F.Copy = {F.IsValid, F.CodeLen, F.LastErrorAddr, F.LastErrorNo, F.LastErrorStr};
    }

    ICodeMemory& M;
    const TRuntimeEntries& RT;
    TFunctionInfo& F;
    uint32_t Low = 0, High = 0;
    std::vector<bool> Failed;
    std::set<uint32_t> Recorded; // transfers recorded (or resolved) once: parsing them again adds nothing
    bool GapFillDone = false;
};

} // namespace

const TCodeArea* AreaAt(const TFunctionInfo& info, uint32_t address)
{
    for (const TCodeArea& c : info.CodeAreas)
        if (c.AreaBegin == address)
            return &c;
    return nullptr;
}

TFunctionInfo AnalyseFunction(ICodeMemory& memory, uint32_t entryPoint, const TRuntimeEntries& runtime)
{
    TFunctionInfo info;
    Analyser(memory, runtime, info).Run(entryPoint);
    return info;
}

} // namespace crash
