#include "tools/dwarf_lines.h"

#include "base/byte_reader.h"

#include <cstring>
#include <optional>

namespace tools {
namespace {

constexpr uint8_t FormBlock = 0x09, FormBlock1 = 0x0A, FormData1 = 0x0B, FormData2 = 0x05, FormData4 = 0x06,
                  FormData8 = 0x07, FormData16 = 0x1E, FormString = 0x08, FormStrp = 0x0E, FormUdata = 0x0F,
                  FormLineStrp = 0x1F, FormStrx = 0x1A, FormStrx1 = 0x25, FormStrx2 = 0x26, FormStrx4 = 0x28;
constexpr uint64_t ContentPath = 1, ContentDirectoryIndex = 2;

std::string StringAt(std::span<const uint8_t> section, uint64_t offset)
{
    if (offset >= section.size())
        return {};
    const char* p = reinterpret_cast<const char*>(section.data() + offset);
    return std::string(p, strnlen(p, section.size() - static_cast<size_t>(offset)));
}

struct TEntryFormat
{
    uint64_t Content, Form;
};

// One directory or file entry of a version 5 table: its path and directory index.
std::optional<std::pair<std::string, uint64_t>> ReadEntry(base::TByteReader& c,
                                                          const std::vector<TEntryFormat>& formats,
                                                          const TDwarfSections& s, size_t offsetSize)
{
    std::string path;
    uint64_t directory = 0;
    for (const TEntryFormat& f : formats) {
        std::string text;
        uint64_t value = 0;
        switch (f.Form) {
        case FormString:
            text = c.CString();
            break;
        case FormLineStrp:
            text = StringAt(s.LineStr, c.Fixed(offsetSize));
            break;
        case FormStrp:
            text = StringAt(s.Str, c.Fixed(offsetSize));
            break;
        case FormUdata:
            value = c.Uleb();
            break;
        case FormData1:
        case FormStrx1:
            value = c.Fixed(1);
            break;
        case FormData2:
        case FormStrx2:
            value = c.Fixed(2);
            break;
        case FormData4:
        case FormStrx4:
            value = c.Fixed(4);
            break;
        case FormData8:
            value = c.Fixed(8);
            break;
        case FormData16:
            c.Skip(16);
            break;
        case FormStrx:
            value = c.Uleb();
            break;
        case FormBlock:
            c.Skip(c.Uleb());
            break;
        case FormBlock1:
            c.Skip(c.Fixed(1));
            break;
        default:
            return std::nullopt; // a form this decoder cannot step over
        }
        if (f.Content == ContentPath)
            path = text;
        else if (f.Content == ContentDirectoryIndex)
            directory = value;
    }
    if (!c.Ok())
        return std::nullopt;
    return std::pair{path, directory};
}

std::string Joined(const std::string& directory, const std::string& file)
{
    if (directory.empty() || file.starts_with('/') || (file.size() > 1 && file[1] == ':'))
        return file;
    return directory + "/" + file;
}

// Decodes the unit at `c`'s position; false when it is damaged.
bool DecodeUnit(base::TByteReader& c, const TDwarfSections& s, std::vector<TLineRow>& rows)
{
    size_t offsetSize = 4;
    uint64_t length = c.Fixed(4);
    if (length == 0xFFFFFFFF) {
        offsetSize = 8;
        length = c.Fixed(8);
    }
    if (!c.Ok() || length > s.Line.size() - c.Pos())
        return false;
    const size_t end = c.Pos() + static_cast<size_t>(length);
    base::TByteReader u(s.Line.subspan(0, end), c.Pos());
    c.Skip(length);
    const uint16_t version = static_cast<uint16_t>(u.Fixed(2));
    if (version < 2 || version > 5)
        return false;
    size_t addressSize = 4;
    if (version >= 5) {
        addressSize = static_cast<size_t>(u.Fixed(1));
        u.Fixed(1); // segment selector size
    }
    const uint64_t headerLength = u.Fixed(offsetSize);
    if (headerLength > end - u.Pos())
        return false;
    const size_t program = u.Pos() + static_cast<size_t>(headerLength);
    const uint8_t minLength = static_cast<uint8_t>(u.Fixed(1));
    if (version >= 4)
        u.Fixed(1); // operations per instruction (VLIW only)
    u.Fixed(1);     // default of the statement flag
    const int8_t lineBase = static_cast<int8_t>(u.Fixed(1));
    const uint8_t lineRange = static_cast<uint8_t>(u.Fixed(1));
    const uint8_t opcodeBase = static_cast<uint8_t>(u.Fixed(1));
    std::vector<uint8_t> standardLengths;
    for (int k = 1; k < opcodeBase; ++k)
        standardLengths.push_back(static_cast<uint8_t>(u.Fixed(1)));
    if (!u.Ok() || lineRange == 0)
        return false;

    std::vector<std::string> directories, files;
    if (version >= 5) {
        for (int table = 0; table < 2; ++table) {
            std::vector<TEntryFormat> formats(static_cast<size_t>(u.Fixed(1)));
            for (TEntryFormat& f : formats)
                f = {u.Uleb(), u.Uleb()};
            const uint64_t count = u.Uleb();
            // Every entry takes at least one byte, unless it has no fields at all: then a
            // count beyond the header's bytes can only be damage (and would loop for ever).
            if (count > end - u.Pos())
                return false;
            for (uint64_t k = 0; k < count && u.Ok(); ++k) {
                const auto entry = ReadEntry(u, formats, s, offsetSize);
                if (!entry)
                    return false;
                if (table == 0)
                    directories.push_back(entry->first);
                else
                    files.push_back(Joined(
                        entry->second < directories.size() ? directories[entry->second] : "", entry->first));
            }
        }
    } else {
        directories.push_back({}); // index 0 is the compilation's own directory
        for (std::string d = u.CString(); !d.empty() && u.Ok(); d = u.CString())
            directories.push_back(d);
        files.push_back({}); // numbered from 1
        for (std::string f = u.CString(); !f.empty() && u.Ok(); f = u.CString()) {
            const uint64_t dir = u.Uleb();
            u.Uleb(); // modification time
            u.Uleb(); // length
            files.push_back(Joined(dir < directories.size() ? directories[dir] : "", f));
        }
    }
    if (!u.Ok())
        return false;

    base::TByteReader p(s.Line.subspan(0, end), program);
    uint64_t address = 0, file = 1;
    // Line arithmetic wraps (a damaged table may add without limit); rows keep 32 bits.
    uint64_t line = 1;
    auto emit = [&](bool endSequence) {
        rows.push_back({static_cast<uint32_t>(address), static_cast<int32_t>(static_cast<uint32_t>(line)),
                        file < files.size() ? files[file] : std::string(), endSequence});
    };
    while (!p.AtEnd() && p.Ok()) {
        const uint8_t op = static_cast<uint8_t>(p.Fixed(1));
        if (op >= opcodeBase) {
            const uint8_t adjusted = static_cast<uint8_t>(op - opcodeBase);
            address += static_cast<uint64_t>(adjusted / lineRange) * minLength;
            line += static_cast<uint64_t>(lineBase + adjusted % lineRange);
            emit(false);
            continue;
        }
        switch (op) {
        case 0: {
            const uint64_t size = p.Uleb();
            const size_t start = p.Pos();
            const uint8_t sub = size ? static_cast<uint8_t>(p.Fixed(1)) : 0;
            if (sub == 1) {
                emit(true);
                address = 0, file = 1, line = 1;
            } else if (sub == 2) {
                address = p.Fixed(std::min<size_t>(addressSize, 8));
            }
            // Whatever the instruction holds beyond what was read is stepped over.
            const size_t used = p.Pos() - start;
            if (size > used)
                p.Skip(size - used);
            break;
        }
        case 1:
            emit(false);
            break;
        case 2:
            address += p.Uleb() * minLength;
            break;
        case 3:
            line += static_cast<uint64_t>(p.Sleb());
            break;
        case 4:
            file = p.Uleb();
            break;
        case 8:
            address += static_cast<uint64_t>((255 - opcodeBase) / lineRange) * minLength;
            break;
        case 9:
            address += p.Fixed(2);
            break;
        default:
            // Column, statement flags, basic blocks, prologue and epilogue marks, the
            // instruction set, and opcodes this decoder does not know: their arguments are
            // skipped by the lengths the header gives.
            for (uint8_t k = 0; k < standardLengths[op - 1u]; ++k)
                p.Uleb();
        }
    }
    return p.Ok();
}

} // namespace

std::vector<TLineRow> DecodeLineTable(const TDwarfSections& sections)
{
    std::vector<TLineRow> rows;
    base::TByteReader c(sections.Line);
    while (!c.AtEnd() && DecodeUnit(c, sections, rows)) {
    }
    return rows;
}

} // namespace tools
