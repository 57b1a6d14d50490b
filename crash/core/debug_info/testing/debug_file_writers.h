#pragma once
// Small writers of the debug formats the readers take, for the tests: TD32 subsections, JCL
// debug files and a PE image with sections and a debug directory. They follow the layouts
// the readers document; nothing here is checked against the readers' code.

#include "base/byte_writer.h"
#include "base/little_endian.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace crash::testing {

// TD32: subsections of a type each, then one directory that lists them.
class TTd32Writer
{
public:
    explicit TTd32Writer(const char* signature = "FB0A") : FSignature(signature) {}

    // Names are numbered from 1 in the order they are added.
    uint32_t Name(const std::string& name)
    {
        FNames.push_back(name);
        return static_cast<uint32_t>(FNames.size());
    }
    struct TSegment
    {
        uint16_t Segment, Flags;
        uint32_t Offset, Size;
    };
    void Module(uint32_t nameIndex, const std::vector<TSegment>& segments)
    {
        base::TByteWriter b;
        b.U32(0).U16(static_cast<uint16_t>(segments.size())).U16(0).U32(nameIndex).Zeros(16);
        for (const TSegment& s : segments)
            b.U16(s.Segment).U16(s.Flags).U32(s.Offset).U32(s.Size);
        Add(0x120, b);
    }
    struct TLineBlock
    {
        uint16_t Segment;
        std::vector<std::pair<uint32_t, uint16_t>> Pairs; // offset, line
    };
    // One source file with its line blocks.
    void SourceModule(uint32_t fileName, const std::vector<TLineBlock>& blocks)
    {
        base::TByteWriter b;
        b.U16(1).U16(1).U32(8); // one file, its block at offset 8
        b.U16(static_cast<uint16_t>(blocks.size())).U32(fileName);
        size_t at = b.Size() + 4 * blocks.size();
        for (const TLineBlock& l : blocks) {
            b.U32(static_cast<uint32_t>(at));
            at += 4 + 6 * l.Pairs.size();
        }
        for (const TLineBlock& l : blocks) {
            b.U16(l.Segment).U16(static_cast<uint16_t>(l.Pairs.size()));
            for (const auto& p : l.Pairs)
                b.U32(p.first);
            for (const auto& p : l.Pairs)
                b.U16(p.second);
        }
        Add(0x127, b);
    }
    // A symbol record of `kind` with the name index and offset where that kind keeps them.
    void Symbol(uint16_t kind, uint32_t nameIndex, uint32_t offset)
    {
        base::TByteWriter r;
        size_t length = 0, nameAt = 0, offsetAt = 0;
        switch (kind) {
        case 0x204:
        case 0x205:
            length = 44, nameAt = 40, offsetAt = 28;
            break;
        case 0x20:
            length = 26, nameAt = 12, offsetAt = 20;
            break;
        case 0x201:
        case 0x202:
            length = 20, nameAt = 16, offsetAt = 4;
            break;
        default: // 0x21
            length = 24, nameAt = 12, offsetAt = 20;
        }
        r.U16(static_cast<uint32_t>(length)).U16(kind).Zeros(length - 2);
        r.PatchU32(nameAt, nameIndex);
        r.PatchU32(offsetAt, offset);
        FSymbols.insert(FSymbols.end(), r.Data().begin(), r.Data().end());
    }

    std::vector<uint8_t> Bytes() const
    {
        base::TByteWriter out;
        out.Chars(FSignature).U32(0);
        std::vector<std::pair<uint16_t, std::pair<size_t, size_t>>> entries;
        base::TByteWriter names;
        names.U32(static_cast<uint32_t>(FNames.size()));
        for (const std::string& n : FNames)
            names.U8(static_cast<uint32_t>(n.size())).Chars(n).U8(0);
        auto append = [&](uint16_t type, const std::vector<uint8_t>& data) {
            entries.push_back({type, {out.Size(), data.size()}});
            out.Bytes(data);
        };
        append(0x130, names.Data());
        for (const auto& s : FSubsections)
            append(s.first, s.second);
        const bool older = FSignature == "FB09";
        std::vector<uint8_t> symbols(older ? 4 : 32, 0);
        symbols.insert(symbols.end(), FSymbols.begin(), FSymbols.end());
        append(older ? 0x125 : 0x129, symbols);
        out.PatchU32(4, static_cast<uint32_t>(out.Size()));
        out.U16(16).U16(12).U32(static_cast<uint32_t>(entries.size())).U32(0).U32(0);
        for (const auto& e : entries)
            out.U16(e.first)
                .U16(1)
                .U32(static_cast<uint32_t>(e.second.first))
                .U32(static_cast<uint32_t>(e.second.second));
        return out.Take();
    }

private:
    void Add(uint16_t type, const base::TByteWriter& b) { FSubsections.push_back({type, b.Data()}); }

    std::string FSignature;
    std::vector<std::string> FNames;
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> FSubsections;
    std::vector<uint8_t> FSymbols;
};

// JCL debug files: the lists as deltas in 7-bit groups, names packed six bits a character.
class TJdbgWriter
{
public:
    // The offset of a name in the words area (from 1). `prefix` 1 stores it scrambled (the
    // caller passes it scrambled already), 2 marks a leading "@".
    uint32_t Name(const std::string& name, int prefix = 0)
    {
        const uint32_t offset = static_cast<uint32_t>(FWords.size()) + 1;
        if (prefix == 1) {
            FWords.push_back(1);
            FWords.insert(FWords.end(), name.begin(), name.end());
            FWords.push_back(0);
            return offset;
        }
        if (prefix == 2)
            FWords.push_back(2);
        uint32_t bits = 0;
        int have = 0;
        auto code = [](char c) -> uint32_t {
            if (c >= '0' && c <= '9')
                return static_cast<uint32_t>(c - '0' + 1);
            if (c >= 'A' && c <= 'Z')
                return static_cast<uint32_t>(c - 'A' + 11);
            if (c >= 'a' && c <= 'z')
                return static_cast<uint32_t>(c - 'a' + 37);
            return 63;
        };
        std::string all = name;
        all += '\0';
        for (char c : all) {
            bits |= (c ? code(c) : 0) << have;
            have += 6;
            while (have >= 8) {
                FWords.push_back(static_cast<uint8_t>(bits));
                bits >>= 8;
                have -= 8;
            }
        }
        if (have > 0)
            FWords.push_back(static_cast<uint8_t>(bits));
        return offset;
    }
    // Each list holds absolute values; they are written as deltas.
    std::vector<std::vector<uint32_t>> Sources, Symbols,
        Lines; // {address, name}, {address, n1, n2}, {address, line}

    std::vector<uint8_t> Bytes(bool checksum) const
    {
        base::TByteWriter out;
        out.Chars("JDBG").U8(1).U8(checksum).U16(0).U32(0).Zeros(24);
        auto list = [&](const std::vector<std::vector<uint32_t>>& rows) {
            const uint32_t at = static_cast<uint32_t>(out.Size());
            std::vector<uint32_t> last(3, 0);
            for (const auto& row : rows)
                for (size_t k = 0; k < row.size(); ++k) {
                    Value(out, row[k] - last[k]);
                    last[k] = row[k];
                }
            Value(out, 0x7FFFFFFF);
            return at;
        };
        out.PatchU32(12, list({}));
        out.PatchU32(16, list(Sources));
        out.PatchU32(20, list(Symbols));
        out.PatchU32(24, list(Lines));
        out.PatchU32(28, static_cast<uint32_t>(out.Size()));
        out.Bytes(FWords);
        while (out.Size() % 4)
            out.U8(0);
        if (checksum) {
            uint32_t sum = 0;
            for (size_t at = 0; at < out.Size(); at += 4)
                sum += base::ReadLe32(out.Data(), at);
            out.PatchU32(8, sum >> 8 | sum << 24);
        }
        return out.Take();
    }

private:
    static void Value(base::TByteWriter& out, uint32_t v)
    {
        do {
            const uint32_t low = v & 0x7F;
            v >>= 7;
            out.U8(low | (v ? 0x80 : 0));
        } while (v);
    }
    std::vector<uint8_t> FWords;
};

// A PE32 image file: headers, then each section's raw bytes at a 0x200 boundary.
struct TPeSectionSpec
{
    std::string Name;
    uint32_t VirtualAddress, Characteristics;
    std::vector<uint8_t> Raw;
};
inline std::vector<uint8_t> PeFile(const std::vector<TPeSectionSpec>& sections, uint32_t debugRva = 0,
                                   uint32_t debugSize = 0, uint32_t exportRva = 0, uint32_t exportSize = 0)
{
    base::TByteWriter b;
    b.Chars("MZ").Zeros(0x3A).U32(0x40);
    b.Chars(std::string("PE\0\0", 4));
    b.U16(0x14C).U16(static_cast<uint32_t>(sections.size())).U32(0).U32(0).U32(0).U16(0xE0).U16(0x102);
    const size_t opt = b.Size();
    b.U16(0x10B).Zeros(0xE0 - 2);
    b.PatchU32(opt + 4, 0x1000);    // SizeOfCode
    b.PatchU32(opt + 20, 0x1000);   // BaseOfCode
    b.PatchU32(opt + 24, 0x2000);   // BaseOfData
    b.PatchU32(opt + 28, 0x400000); // ImageBase
    b.PatchU32(opt + 56, 0x10000);  // SizeOfImage
    b.PatchU32(opt + 92, 16);       // directories
    b.PatchU32(opt + 96, exportRva);
    b.PatchU32(opt + 100, exportSize);
    b.PatchU32(opt + 96 + 6 * 8, debugRva);
    b.PatchU32(opt + 96 + 6 * 8 + 4, debugSize);
    size_t raw = 0x400;
    for (const TPeSectionSpec& s : sections) {
        std::string name = s.Name;
        name.resize(8, '\0');
        b.Chars(name).U32(static_cast<uint32_t>(s.Raw.size())).U32(s.VirtualAddress);
        b.U32(static_cast<uint32_t>(s.Raw.size()))
            .U32(static_cast<uint32_t>(raw))
            .Zeros(12)
            .U32(s.Characteristics);
        raw += (s.Raw.size() + 0x1FF) / 0x200 * 0x200;
    }
    b.PadTo(0x400);
    for (const TPeSectionSpec& s : sections) {
        b.Bytes(s.Raw);
        b.PadTo((b.Size() + 0x1FF) / 0x200 * 0x200);
    }
    return b.Take();
}

} // namespace crash::testing
