#include "crash/core/stack/stack_text.h"

#include "base/crc32.h"
#include "base/hex.h"

#include <algorithm>
#include <array>

namespace crash {
namespace {

std::u16string Wide(const std::string& ascii)
{
    return {ascii.begin(), ascii.end()};
}

std::u16string Hex(uint32_t value, int width = 0)
{
    return Wide(base::HexDigits(value, width));
}

std::u16string Decimal(uint32_t value)
{
    return Wide(std::to_string(value));
}

// The line relative to the function's first line, when both are known.
bool HasRelativeLine(const TStackLine& line)
{
    return line.Line != 0 && line.PublicLine != 0;
}

uint32_t RelativeLine(const TStackLine& line)
{
    return HasRelativeLine(line) && line.Line >= line.PublicLine ? line.Line - line.PublicLine : 0;
}

uint32_t RelativeAddr(const TStackLine& line)
{
    return line.PublicAddr != 0 ? line.Addr - line.PublicAddr : 0;
}

// The columns of one line, before padding.
struct TColumns
{
    std::u16string Relative, Module, Unit, AbsoluteLine, Line;
};

TColumns ColumnsOf(const TStackLine& line, const TStackTextOptions& options)
{
    TColumns c;
    c.Module = line.ModuleName.empty() ? u"???" : line.ModuleName;
    c.Unit = line.UnitName;
    if (options.ShowRelativeLines && HasRelativeLine(line)) {
        c.AbsoluteLine = Decimal(line.Line);
        c.Line = u"+" + Decimal(RelativeLine(line));
    } else if (line.Line != 0) {
        c.Line = Decimal(line.Line);
    }
    return c;
}

void PadRight(std::u16string& out, const std::u16string& text, size_t width)
{
    out += text;
    out.append(width - text.size() + 1, u' ');
}

void PadLeft(std::u16string& out, const std::u16string& text, size_t width)
{
    out.append(width - text.size(), u' ');
    out += text;
    out += u' ';
}

// Lower case for the checksums: A to Z and the umlauts Ä, Ö and Ü only.
std::u16string ChecksumCase(std::u16string text)
{
    for (char16_t& c : text)
        if ((c >= u'A' && c <= u'Z') || c == 0xC4 || c == 0xD6 || c == 0xDC)
            c = static_cast<char16_t>(c + 0x20);
    return text;
}

uint32_t ChainText(uint32_t crc, const std::u16string& text)
{
    const std::u16string lower = ChecksumCase(text);
    std::vector<uint8_t> bytes;
    bytes.reserve(lower.size() * 2);
    for (char16_t c : lower) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return base::Crc32(bytes.data(), bytes.size(), crc);
}

} // namespace

std::u16string StackText(const std::vector<TStackLine>& lines, const TStackTextOptions& options)
{
    std::vector<TColumns> columns;
    size_t relDigits = 3, module = 0, unit = 0, absolute = 0, line = 0;
    for (const TStackLine& l : lines) {
        columns.push_back(ColumnsOf(l, options));
        const TColumns& c = columns.back();
        relDigits = std::max(relDigits, base::HexDigits(RelativeAddr(l)).size());
        module = std::max(module, c.Module.size());
        unit = std::max(unit, c.Unit.size());
        absolute = std::max(absolute, c.AbsoluteLine.size());
        line = std::max(line, c.Line.size());
    }
    std::u16string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        const TStackLine& l = lines[i];
        const TColumns& c = columns[i];
        if (i > 0)
            out += u"\r\n";
        out += Hex(l.Addr, 8) + u' ';
        if (options.ShowRelativeAddrs)
            out += u"+" + Hex(RelativeAddr(l), static_cast<int>(relDigits)) + u' ';
        PadRight(out, c.Module, module);
        PadRight(out, c.Unit, unit);
        if (options.ShowRelativeLines)
            PadLeft(out, c.AbsoluteLine, absolute);
        PadLeft(out, c.Line, line);
        out += l.FunctionName;
    }
    return out;
}

std::u16string LocationLine(const TStackLine& line, const TStackTextOptions& options)
{
    std::u16string out = Hex(line.Addr, 8);
    if (line.UnitName.empty() && line.FunctionName.empty() && line.Line == 0) {
        // Nothing is known of the address.
        if (options.ShowRelativeAddrs)
            out += u" +0";
        return out + u" ???";
    }
    if (options.ShowRelativeAddrs)
        out += u" +" + Hex(RelativeAddr(line));
    out += u' ' + (line.ModuleName.empty() ? std::u16string(u"???") : line.ModuleName) + u' ' +
           line.UnitName + u' ';
    if (line.Line != 0) {
        out += Decimal(line.Line) + u' ';
        if (options.ShowRelativeLines)
            out += HasRelativeLine(line) ? u"+" + Decimal(RelativeLine(line)) + u' ' : u"+0 ";
    }
    return out + line.FunctionName;
}

TStackItem ToStackItem(const TStackLine& line)
{
    return {line.Addr, RelativeAddr(line), line.ModuleName,  line.UnitName,
            line.Line, RelativeLine(line), line.FunctionName};
}

uint32_t LineChecksum(const TStackLine& line)
{
    if (line.PublicAddr == 0 || line.ModuleName.empty() || line.FunctionName.empty())
        return line.Addr;
    uint32_t crc = ChainText(RelativeAddr(line), line.ModuleName);
    if (!line.UnitName.empty())
        crc = ChainText(crc, line.UnitName);
    return ChainText(crc, line.FunctionName);
}

TStackChecksums StackChecksums(const std::vector<TStackLine>& lines)
{
    TStackChecksums sums;
    for (size_t i = 0; i < lines.size(); ++i) {
        const uint32_t value = LineChecksum(lines[i]);
        if (i == 0) {
            sums.First = sums.All = value;
            continue;
        }
        const std::array<uint8_t, 4> bytes{static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                                           static_cast<uint8_t>(value >> 16),
                                           static_cast<uint8_t>(value >> 24)};
        sums.All = base::Crc32(bytes.data(), bytes.size(), sums.All);
    }
    return sums;
}

} // namespace crash
