#include "crash/core/x86/x86_listing.h"

#include "base/hex.h"
#include "crash/core/x86/x86_text.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace crash {
namespace {

std::string Hex(uint32_t a)
{
    char text[12];
    std::snprintf(text, sizeof text, "%x", a);
    return text;
}

void PadTo(std::string& s, size_t width, bool atLeastOne)
{
    if (s.size() < width)
        s.append(width - s.size(), ' ');
    else if (atLeastOne)
        s += ' ';
}

struct TLine
{
    std::string Text;
    bool ExceptionLine = false;
};

class Lister
{
public:
    Lister(ICodeMemory& memory, const TFunctionInfo& info, const TListingOptions& options)
        : M(memory), F(info), O(options)
    {
    }

    std::string Run()
    {
        std::vector<const TCodeArea*> areas;
        for (const TCodeArea& c : F.CodeAreas)
            areas.push_back(&c);
        std::sort(areas.begin(), areas.end(), [](auto* a, auto* b) { return a->AreaBegin < b->AreaBegin; });
        for (size_t k = 1; k < areas.size(); ++k)
            if (areas[k]->AreaBegin <= areas[k - 1]->AreaEnd)
                return ListingInternalError;
        SetUpLineColumn();
        for (size_t k = 0; k < areas.size(); ++k)
            Area(*areas[k], k + 1 == areas.size());
        return Join(Limited());
    }

private:
    // The 32-bit value at `a`, 0 when it cannot be read.
    uint32_t DwordAt(uint32_t a, bool* ok = nullptr)
    {
        uint32_t v = 0;
        const bool read = M.ReadDword(a, v);
        if (ok)
            *ok = read;
        return v;
    }

    std::string EntryName() const
    {
        const std::string name = O.NameOf ? O.NameOf(F.EntryPoint) : "";
        return name.empty() ? "sub_" + Hex(F.EntryPoint) : "public " + name;
    }

    // The label of the area starting at `a`, without its colon; empty for none.
    std::string LabelOf(uint32_t a) const
    {
        if (a == F.EntryPoint)
            return EntryName();
        return AreaAt(F, a) ? "loc_" + Hex(a) : "";
    }

    void SetUpLineColumn()
    {
        if (!O.LineOf)
            return;
        int last = F.CodeLen ? O.LineOf(F.CodeBegin + F.CodeLen - 1) : 0;
        if (last <= 0)
            last = 10 * std::max(O.LineOf(O.ExceptionAddress), 0);
        Width = static_cast<int>(std::to_string(std::max(last, 1)).size());
    }

    std::string Column(uint32_t a)
    {
        if (!Width)
            return "";
        const int line = O.LineOf(a);
        if (line > 0 && line != LastLine) {
            LastLine = line;
            std::string n = std::to_string(line);
            return std::string(static_cast<size_t>(std::max(Width - static_cast<int>(n.size()), 0)), '0') +
                   n + " ";
        }
        return std::string(static_cast<size_t>(Width) + 1, ' ');
    }

    void Add(std::string text, bool exception = false)
    {
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        Lines.push_back({std::move(text), exception});
    }
    void Blank(uint32_t a) { Add(base::AddressText(a)); }
    void Separator(uint32_t a)
    {
        Blank(a);
        Add(base::AddressText(a) + " ; ---------------------------------------------------------");
        Blank(a);
        EndedBlock = true;
    }

    void Label(uint32_t a, const std::string& text, const char* comment = nullptr)
    {
        if (!Lines.empty() && !EndedBlock)
            Blank(a);
        std::string line = base::AddressText(a) + " " + text + ":";
        if (comment) {
            PadTo(line, 9 + 31, false);
            line += comment;
        }
        Add(line);
        EndedBlock = false;
    }

    void Area(const TCodeArea& area, bool last)
    {
        const uint32_t a = area.AreaBegin;
        if (a == F.EntryPoint)
            Label(a, EntryName(), "  ; function entry point");
        else if (O.AutoDelimiters && area.CalledFrom)
            Label(a, "loc_" + Hex(a));
        if (area.CaseBlock) {
            CaseTable(area);
        } else if (area.OnExceptBlock) {
            ExceptionTable(area);
        } else {
            Code(area, last);
            return;
        }
        if (O.AutoDelimiters && !last)
            Separator(area.AreaEnd + 1);
    }

    void CaseTable(const TCodeArea& area)
    {
        for (uint32_t e = area.AreaBegin; e + 3 <= area.AreaEnd; e += 4) {
            const uint32_t target = DwordAt(e);
            std::string line = base::AddressText(e) + " " + "  dd loc_" + Hex(target);
            if (e == area.AreaBegin) {
                PadTo(line, 9 + 31, false);
                line += "  ; case jump table";
            }
            Add(line, e <= O.ExceptionAddress && O.ExceptionAddress <= e + 3);
        }
        EndedBlock = false;
    }

    void ExceptionTable(const TCodeArea& area)
    {
        bool ok;
        const uint32_t count = DwordAt(area.AreaBegin, &ok);
        std::vector<std::pair<std::string, uint32_t>> entries;
        size_t widest = 0;
        for (uint32_t k = 0; ok && k < count && k < 256; ++k) {
            const uint32_t cls = DwordAt(area.AreaBegin + 4 + 8 * k);
            const uint32_t handler = DwordAt(area.AreaBegin + 8 + 8 * k);
            std::string name;
            if (cls) {
                name = O.ClassNameOf ? O.ClassNameOf(cls) : "";
                if (name.empty())
                    name = "EUnknown";
            }
            widest = std::max(widest, name.size());
            entries.emplace_back(name, handler);
        }
        for (size_t k = 0; k < entries.size(); ++k) {
            const auto& [name, handler] = entries[k];
            std::string text = name.empty() ? "  else" + std::string(widest + 3 + 3 - 4, ' ')
                                            : "  on " + name + std::string(widest - name.size(), ' ') + " do";
            Add(base::AddressText(area.AreaBegin + 4 + 8 * static_cast<uint32_t>(k)) + " " + text + " loc_" +
                Hex(handler));
        }
        EndedBlock = false;
    }

    // The comment of an instruction: the name of its target (through a thunk), of a named
    // address in an operand (not through a thunk: an address pushed or stored is the thunk
    // itself), or a plausible text an operand points at.
    std::string Comment(const InstructionInfo& i, const TInstructionParts& p)
    {
        auto named = [&](uint32_t a, bool throughThunk) -> std::string {
            if (!a || !O.NameOf)
                return "";
            std::string name = O.NameOf(a);
            if (!name.empty() || !throughThunk)
                return name;
            // A thunk: one jump to another function.
            uint8_t bytes[15];
            const size_t n = M.ReadUpTo(a, bytes, 15);
            const InstructionInfo t = DecodeInstruction({bytes, n}, a);
            if (t.Valid && t.Jump && !t.Call && (t.Opcode == 0xE9 || t.Opcode == 0xEB || t.Opcode == 0xFF)) {
                uint32_t target = t.Target;
                bool ok = true;
                if (!target && t.TargetMemory)
                    target = DwordAt(t.TargetMemory, &ok);
                if (ok && target)
                    return O.NameOf(target);
            }
            return "";
        };
        if (i.Call || i.Jump) {
            uint32_t target = i.Target;
            bool ok = true;
            if (!target && i.TargetMemory)
                target = DwordAt(i.TargetMemory, &ok);
            const std::string name = ok ? named(target, true) : "";
            if (!name.empty())
                return "  ; " + name;
        }
        std::vector<uint32_t> values;
        if (p.DispSize == 4)
            values.push_back(static_cast<uint32_t>(p.Disp));
        if (p.ImmSize == 4 && !(i.RelTarget))
            values.push_back(p.Imm);
        for (uint32_t v : values) {
            const std::string name = named(v, false);
            if (!name.empty())
                return "  ; " + name;
        }
        for (uint32_t v : values) {
            std::string text = TextAt(v);
            if (text.empty() && p.ImmSize == 4 && v == p.Imm) {
                // A pointer-sized immediate may point at a pointer to the text.
                bool ok;
                const uint32_t target = DwordAt(v, &ok);
                if (ok && InImage(v) && InImage(target) && target != v)
                    text = TextAt(target);
            }
            if (!text.empty())
                return "  ; '" + text + "'";
        }
        return "";
    }

    bool InImage(uint32_t a) const
    {
        if (!O.ImageEnd)
            return false;
        const auto end = O.ImageEnd(a);
        return end && *end >= 100 && a < *end - 100;
    }

    std::string TextAt(uint32_t a)
    {
        if (!InImage(a))
            return "";
        std::string bytes;
        for (uint32_t k = 0; k < 100; ++k) {
            uint8_t c;
            if (!M.Read(a + k, &c, 1) || c < 0x20)
                break;
            bytes += static_cast<char>(c);
        }
        return PlausibleText(bytes) ? bytes : "";
    }

    void Code(const TCodeArea& area, bool lastArea)
    {
        uint32_t a = area.AreaBegin;
        const uint32_t end = area.AreaEnd;
        while (a <= end && a >= area.AreaBegin) {
            uint8_t bytes[15];
            const size_t n = M.ReadUpTo(a, bytes, std::min<size_t>(15, static_cast<size_t>(end - a) + 1));
            TInstructionParts p;
            InstructionInfo i = DecodeInstruction({bytes, n}, a, p);
            const bool exception = a == O.ExceptionAddress;
            std::string line = base::AddressText(a) + " " + Column(a) + (exception ? "> " : "  ");
            TInstructionText text;
            if (i.Valid)
                text = InstructionText({bytes, n}, i, p);
            if (!i.Valid || text.Mnemonic.empty()) {
                uint8_t b = 0;
                M.Read(a, &b, 1);
                line += "db";
                PadTo(line, 19 + static_cast<size_t>(Width ? Width + 1 : 0), true);
                line += "0x" + Hex(b);
                Add(line, exception);
                ++a;
                continue;
            }
            line += text.Prefixes + text.Mnemonic;
            PadTo(line, 19 + static_cast<size_t>(Width ? Width + 1 : 0), true);
            std::vector<std::string> operands = text.Operands;
            if (i.RelTarget && !operands.empty()) {
                const std::string label = LabelOf(i.Target);
                if (!label.empty())
                    operands.back() = label;
            }
            for (size_t k = 0; k < operands.size(); ++k)
                line += (k ? ", " : "") + operands[k];
            const std::string comment = Comment(i, p);
            if (!comment.empty()) {
                PadTo(line, 40 + static_cast<size_t>(Width ? Width + 1 : 0), false);
                line += comment;
            }
            Add(line, exception);
            EndedBlock = false;
            const bool more = i.Next <= end || !lastArea;
            if (O.AutoDelimiters && more) {
                const bool toRuntime = i.Target && (i.Target == O.Runtime.HandleFinally ||
                                                    i.Target == O.Runtime.HandleAnyException ||
                                                    i.Target == O.Runtime.HandleAutoException);
                const bool ends = i.Opcode == 0xC2 || i.Opcode == 0xC3 || i.Opcode == 0xCA ||
                                  i.Opcode == 0xCB || i.Opcode == 0xCF || i.Opcode == 0xE9 ||
                                  i.Opcode == 0xEA || i.Opcode == 0xEB || (i.Opcode == 0xFF && i.Jump);
                if (ends && !toRuntime)
                    Separator(i.Next);
                else if (i.Call || (i.Jump && !ends)) {
                    Blank(i.Next);
                    EndedBlock = true;
                }
            }
            a = i.Next;
            if (a == 0)
                break;
        }
    }

    std::vector<TLine> Limited() const
    {
        if (O.Limit <= 0)
            return Lines;
        const auto at =
            std::find_if(Lines.begin(), Lines.end(), [](const TLine& l) { return l.ExceptionLine; });
        if (at == Lines.end())
            return Lines;
        const size_t e = static_cast<size_t>(at - Lines.begin()), n = static_cast<size_t>(O.Limit);
        std::vector<TLine> kept;
        size_t first = 0;
        if (e > n * 12 / 10) {
            kept.push_back({"[...]"});
            first = e - n;
        }
        const size_t last = std::min(Lines.size(), e + 1 + n);
        kept.insert(kept.end(), Lines.begin() + static_cast<std::ptrdiff_t>(first),
                    Lines.begin() + static_cast<std::ptrdiff_t>(last));
        if (last < Lines.size())
            kept.push_back({"[...]"});
        return kept;
    }

    static std::string Join(const std::vector<TLine>& lines)
    {
        std::string text;
        for (size_t k = 0; k < lines.size(); ++k)
            text += (k ? "\r\n" : "") + lines[k].Text;
        return text;
    }

    ICodeMemory& M;
    const TFunctionInfo& F;
    const TListingOptions& O;
    std::vector<TLine> Lines;
    bool EndedBlock = false;
    int Width = 0, LastLine = 0;
};

} // namespace

bool PlausibleText(std::string_view bytes)
{
    int g = 0, p = 0, o = 0, x = 0, length = 0;
    for (unsigned char c : bytes) {
        if (c < 0x20 || length >= 100)
            break;
        ++length;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ')
            ++g;
        else if (c == ',' || c == '.' || c == ':' || c == '\\')
            ++p;
        else if (c >= '!' && c <= ']')
            ++o;
        else
            ++x;
    }
    return length >= 4 && 5 * p < 2 * g && 8 * o < g + p / 2 && 10 * x < g + p / 2 + o / 4;
}

std::string DisassemblyListing(ICodeMemory& memory, const TFunctionInfo& info, const TListingOptions& options)
{
    return Lister(memory, info, options).Run();
}

} // namespace crash
