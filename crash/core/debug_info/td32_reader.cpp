#include "crash/core/debug_info/td32_reader.h"

#include "base/little_endian.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace crash {
namespace {

constexpr uint16_t SubsectionModule = 0x120, SubsectionAlignedSymbols = 0x125, SubsectionSourceModule = 0x127,
                   SubsectionGlobalSymbols = 0x129, SubsectionNames = 0x130;

// Little-endian reads that answer 0 past the end; callers check sizes where a 0 would be
// taken for data.
class TBytes
{
public:
    explicit TBytes(std::span<const uint8_t> data) : FData(data) {}
    bool Has(size_t at, size_t size) const { return at <= FData.size() && FData.size() - at >= size; }
    uint16_t U16(size_t at) const { return Has(at, 2) ? base::ReadLe16(FData, at) : 0; }
    uint32_t U32(size_t at) const { return Has(at, 4) ? base::ReadLe32(FData, at) : 0; }
    std::span<const uint8_t> Sub(size_t at, size_t size) const
    {
        return Has(at, size) ? FData.subspan(at, size) : std::span<const uint8_t>{};
    }
    size_t Size() const { return FData.size(); }
    const uint8_t* At(size_t at) const { return FData.data() + at; }

private:
    std::span<const uint8_t> FData;
};

struct TSubsection
{
    uint16_t Type;
    std::span<const uint8_t> Data;
};

std::string WithoutPath(const std::string& name)
{
    const size_t slash = name.find_last_of('\\');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

class TTd32Reader
{
public:
    TTd32Reader(const TTd32Layout& layout, TMapFile& map) : FLayout(layout), FMap(map) {}

    bool Read(std::span<const uint8_t> data)
    {
        const int version = Td32Version(data);
        if (!version)
            return false;
        const TBytes bytes(data);
        FPairBudget = data.size() / 6;
        // Directories follow each other through their chain; a chain that returns to a
        // directory already read ends.
        std::vector<uint32_t> seen;
        for (uint32_t dir = bytes.U32(4);
             dir && bytes.Has(dir, 12) && std::find(seen.begin(), seen.end(), dir) == seen.end();
             dir = bytes.U32(dir + 8)) {
            seen.push_back(dir);
            const uint16_t headerSize = bytes.U16(dir), entrySize = bytes.U16(dir + 2);
            const uint32_t count = bytes.U32(dir + 4);
            if (entrySize < 12)
                break;
            for (uint32_t k = 0; k < count; ++k) {
                const size_t at = dir + headerSize + size_t{k} * entrySize;
                if (!bytes.Has(at, 12))
                    break;
                const auto sub = bytes.Sub(bytes.U32(at + 4), bytes.U32(at + 8));
                if (!sub.empty())
                    FSubsections.push_back({bytes.U16(at), sub});
            }
        }
        return Finish(version);
    }

private:
    bool Finish(int version)
    {
        for (const TSubsection& s : FSubsections)
            if (s.Type == SubsectionNames)
                ReadNames(TBytes(s.Data));
        for (const TSubsection& s : FSubsections)
            if (s.Type == SubsectionModule)
                ReadModule(TBytes(s.Data));
        for (const TSubsection& s : FSubsections)
            if (s.Type == SubsectionSourceModule)
                ReadSourceModule(TBytes(s.Data));
        FMap.SortSegments(false);
        const uint16_t symbols = version == 9 ? SubsectionAlignedSymbols : SubsectionGlobalSymbols;
        for (const TSubsection& s : FSubsections)
            if (s.Type == symbols)
                ReadSymbols(TBytes(s.Data), version == 9 ? 4 : 32);
        const bool found = FFound;
        FMap.Finish();
        FMap.SetValid(found);
        return found;
    }

    void ReadNames(const TBytes b)
    {
        const uint32_t count = b.U32(0);
        size_t at = 4;
        for (uint32_t k = 0; k < count && b.Has(at, 1); ++k) {
            const uint8_t length = *b.At(at);
            if (!b.Has(at + 1, size_t{length} + 1))
                break;
            FNames.emplace_back(reinterpret_cast<const char*>(b.At(at + 1)), length);
            at += size_t{length} + 2;
        }
    }

    // Names are numbered from 1; 0 and numbers past the table name nothing.
    const std::string* Name(uint32_t index) const
    {
        return index && index <= FNames.size() ? &FNames[index - 1] : nullptr;
    }

    void ReadModule(const TBytes b)
    {
        const std::string* name = Name(b.U32(8));
        const std::string unit = name ? WithoutPath(*name) : std::string();
        const uint16_t count = b.U16(4);
        for (uint16_t k = 0; k < count; ++k) {
            const size_t at = 28 + 12 * size_t{k};
            if (!b.Has(at, 12))
                break;
            const uint16_t flags = b.U16(at + 2);
            const uint32_t offset = b.U32(at + 4), size = b.U32(at + 8);
            if (size && flags) {
                FMap.AddMergedSegment(true, offset, size, unit);
                FFound = true;
            }
        }
    }

    void ReadSourceModule(const TBytes b)
    {
        const uint16_t files = b.U16(0);
        const uint16_t highest = FLayout.SecondSectionIsCode ? 3 : 2;
        // Offset tables that run past the data end the loops: a damaged count can ask for
        // 65535 x 65535 blocks.
        for (uint16_t f = 0; f < files && b.Has(4 + 4 * size_t{f}, 4); ++f) {
            const uint32_t file = b.U32(4 + 4 * size_t{f});
            if (!b.Has(file, 6))
                continue;
            const uint16_t blocks = b.U16(file);
            const std::string* name = Name(b.U32(file + 2));
            const std::string unit = name ? WithoutPath(*name) : std::string();
            for (uint16_t k = 0; k < blocks && b.Has(file + 6 + 4 * size_t{k}, 4); ++k) {
                const uint32_t block = b.U32(file + 6 + 4 * size_t{k});
                if (!b.Has(block, 4))
                    continue;
                const uint16_t segment = b.U16(block), pairs = b.U16(block + 2);
                if (segment == 0 || segment > highest || !b.Has(block + 4, size_t{pairs} * 6))
                    continue;
                // A damaged table can name one block again and again; the budget (a pair
                // needs 6 bytes of the data) keeps that from taking quadratic time.
                if (FPairBudget < pairs)
                    return;
                FPairBudget -= pairs;
                const uint32_t shift =
                    FLayout.SecondSectionIsCode && segment == 2 ? FLayout.SecondSectionDistance : 0;
                uint32_t first = UINT32_MAX, last = 0;
                for (uint16_t i = 0; i < pairs; ++i) {
                    const uint32_t offset = b.U32(block + 4 + 4 * size_t{i}) + shift;
                    const uint16_t line = b.U16(block + 4 + 4 * size_t{pairs} + 2 * size_t{i});
                    FMap.AddLine(line, FMap.Ranges().BaseOfCode + offset);
                    first = std::min(first, offset);
                    last = std::max(last, offset);
                    FFound = true;
                }
                if (pairs)
                    FMap.AddMergedSegment(true, first, last - first + 1, unit);
            }
        }
    }

    void ReadSymbols(const TBytes b, size_t start)
    {
        for (size_t at = start; b.Has(at, 4);) {
            const uint16_t length = b.U16(at), kind = b.U16(at + 2);
            if (length == 0 || !b.Has(at, size_t{length} + 2))
                break;
            const TBytes r(b.Sub(at, size_t{length} + 2));
            bool code = true;
            uint32_t nameIndex = 0, offset = 0;
            bool use = false;
            if ((kind == 0x204 || kind == 0x205) && length > 43) {
                nameIndex = r.U32(40), offset = r.U32(28), use = true;
            } else if (kind == 0x20 && length > 25) {
                nameIndex = r.U32(12), offset = r.U32(20), use = true;
            } else if ((kind == 0x201 || kind == 0x202) && length >= 20) {
                nameIndex = r.U32(16), offset = r.U32(4), code = false, use = true;
            } else if (kind == 0x21 && length > 23) {
                nameIndex = r.U32(12), offset = r.U32(20), code = false, use = true;
            }
            if (const std::string* name = use ? Name(nameIndex) : nullptr) {
                FMap.AddTd32Public(code, *name, offset);
                FFound = true;
            }
            at += size_t{length} + 2;
        }
    }

    const TTd32Layout& FLayout;
    TMapFile& FMap;
    std::vector<TSubsection> FSubsections;
    std::vector<std::string> FNames;
    bool FFound = false;
    size_t FPairBudget = 0;
};

} // namespace

int Td32Version(std::span<const uint8_t> data)
{
    if (data.size() < 8)
        return 0;
    if (std::memcmp(data.data(), "FB09", 4) == 0)
        return 9;
    if (std::memcmp(data.data(), "FB0A", 4) == 0)
        return 10;
    return 0;
}

bool ReadTd32(std::span<const uint8_t> data, const TTd32Layout& layout, TMapFile& map)
{
    return TTd32Reader(layout, map).Read(data);
}

} // namespace crash
