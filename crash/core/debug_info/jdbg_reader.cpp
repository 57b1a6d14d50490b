#include "crash/core/debug_info/jdbg_reader.h"

#include "base/byte_reader.h"
#include "base/little_endian.h"

#include <cstring>

namespace crash {
namespace {

constexpr uint32_t ListEnd = 0x7FFFFFFF;
constexpr size_t MaxName = 255;

using base::ReadLe32;

// A list of the format's values: 7 bits per byte, least significant group first, bit 7 on
// every byte but the last. Ends at the end marker, at the end of the file, or at a value
// longer than five bytes.
class TList
{
public:
    TList(std::span<const uint8_t> file, uint32_t offset) : FReader(file) { FReader.Seek(offset); }
    bool Next(uint32_t& value)
    {
        value = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            const uint8_t b = FReader.U8();
            if (!FReader.Ok())
                return false;
            value |= static_cast<uint32_t>(b & 0x7F) << shift;
            if (!(b & 0x80))
                return value != ListEnd;
        }
        return false;
    }

private:
    base::TByteReader FReader;
};

char SixBitChar(uint32_t code)
{
    if (code <= 10)
        return static_cast<char>('0' + code - 1);
    if (code <= 36)
        return static_cast<char>('A' + code - 11);
    if (code <= 62)
        return static_cast<char>('a' + code - 37);
    return '_';
}

std::string WithoutPath(const std::string& name)
{
    const size_t slash = name.find_last_of("\\/");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

class TJdbgNames
{
public:
    TJdbgNames(std::span<const uint8_t> file, uint32_t words) : FFile(file), FWords(words) {}

    // The name at an offset of the words area (counting from 1); empty for 0 or a name
    // outside the file.
    std::string At(uint32_t offset) const
    {
        if (offset == 0 || FWords >= FFile.size() || offset - 1 >= FFile.size() - FWords)
            return {};
        size_t at = FWords + offset - 1;
        std::string name;
        if (FFile[at] == 1) {
            for (++at; at < FFile.size() && FFile[at] && name.size() < MaxName; ++at)
                name += static_cast<char>(FFile[at]);
            return JdbgScramble(name);
        }
        if (FFile[at] == 2) {
            name = "@";
            ++at;
        }
        // Four 6-bit codes in three bytes, least significant bits first.
        uint32_t bits = 0;
        int have = 0;
        while (name.size() < MaxName) {
            if (have < 6) {
                if (at >= FFile.size())
                    break;
                bits |= uint32_t{FFile[at++]} << have;
                have += 8;
            }
            const uint32_t code = bits & 0x3F;
            bits >>= 6;
            have -= 6;
            if (code == 0)
                break;
            name += SixBitChar(code);
        }
        return name;
    }

private:
    std::span<const uint8_t> FFile;
    uint32_t FWords;
};

} // namespace

std::string JdbgScramble(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(static_cast<uint8_t>(c) ^ 0xE9);
    return text;
}

uint32_t JdbgChecksum(std::span<const uint8_t> file)
{
    uint32_t sum = 0;
    for (size_t at = 0; at + 4 <= file.size(); at += 4)
        if (at != 8)
            sum += ReadLe32(file, at);
    return sum >> 8 | sum << 24;
}

TDebugRead ReadJdbg(std::span<const uint8_t> file, TMapFile& map)
{
    if (file.size() < 4 || std::memcmp(file.data(), "JDBG", 4) != 0)
        return {TDebugStatus::WrongSignature};
    if (file.size() < JdbgHeaderSize)
        return {TDebugStatus::Truncated};
    if (file.size() % 4)
        return {TDebugStatus::WrongSize};
    if (file[4] != 1)
        return {TDebugStatus::WrongVersion};
    if (file[5] && JdbgChecksum(file) != ReadLe32(file, 8))
        return {TDebugStatus::BadChecksum};
    const TJdbgNames names(file, ReadLe32(file, 28));
    const uint32_t base = map.Ranges().BaseOfCode;
    bool found = false;

    TList sources(file, ReadLe32(file, 16));
    for (uint32_t address = 0, name = 0, da, dn; sources.Next(da) && sources.Next(dn);) {
        address += da;
        name += dn;
        // One byte long: the optimization below makes it reach the next source's start.
        map.AddSegment(true, address, 1, WithoutPath(names.At(name)));
        found = true;
    }
    map.SortSegments(true);
    map.ExtendLastSegmentToTopOfCode();

    TList symbols(file, ReadLe32(file, 20));
    for (uint32_t address = 0, first = 0, second = 0, da, d1, d2;
         symbols.Next(da) && symbols.Next(d1) && symbols.Next(d2);) {
        address += da;
        first += d1;
        second += d2;
        std::string name = names.At(first);
        if (static_cast<int32_t>(second) > 0)
            name += "." + names.At(second);
        map.AddPublic(true, std::move(name), address);
        found = true;
    }

    TList lines(file, ReadLe32(file, 24));
    for (uint32_t address = 0, line = 0, da, dl; lines.Next(da) && lines.Next(dl);) {
        address += da;
        line += dl;
        map.AddLine(static_cast<int32_t>(line), base + address);
        found = true;
    }
    map.Finish();
    map.SetValid(found);
    return {found ? TDebugStatus::Ok : TDebugStatus::Empty};
}

} // namespace crash
