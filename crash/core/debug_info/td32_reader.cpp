#include "crash/core/debug_info/td32_reader.h"

#include "base/byte_reader.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace crash {
namespace {

constexpr uint16_t SubsectionModule = 0x120, SubsectionAlignedSymbols = 0x125, SubsectionSourceModule = 0x127,
                   SubsectionGlobalSymbols = 0x129, SubsectionNames = 0x130;

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

    TDebugRead Read(std::span<const uint8_t> data)
    {
        const int version = Td32Version(data);
        if (!version)
            return {TDebugStatus::WrongSignature};
        const base::TByteReader bytes(data);
        FPairBudget = data.size() / 6;
        // Directories follow each other through their chain; a chain that returns to a
        // directory already read ends.
        std::vector<uint32_t> seen;
        for (uint32_t dir = bytes.U32At(4);
             dir && bytes.HasAt(dir, 12) && std::find(seen.begin(), seen.end(), dir) == seen.end();
             dir = bytes.U32At(dir + 8)) {
            seen.push_back(dir);
            const uint16_t headerSize = bytes.U16At(dir), entrySize = bytes.U16At(dir + 2);
            const uint32_t count = bytes.U32At(dir + 4);
            if (entrySize < 12)
                break;
            for (uint32_t k = 0; k < count; ++k) {
                const size_t at = dir + headerSize + size_t{k} * entrySize;
                if (!bytes.HasAt(at, 12))
                    break;
                const auto sub = bytes.BytesAt(bytes.U32At(at + 4), bytes.U32At(at + 8));
                if (!sub.empty())
                    FSubsections.push_back({bytes.U16At(at), sub});
            }
        }
        return Finish(version);
    }

private:
    TDebugRead Finish(int version)
    {
        for (const TSubsection& s : FSubsections)
            if (s.Type == SubsectionNames)
                ReadNames(base::TByteReader(s.Data));
        for (const TSubsection& s : FSubsections)
            if (s.Type == SubsectionModule)
                ReadModule(base::TByteReader(s.Data));
        for (const TSubsection& s : FSubsections)
            if (s.Type == SubsectionSourceModule)
                ReadSourceModule(base::TByteReader(s.Data));
        FMap.SortSegments(false);
        const uint16_t symbols = version == 9 ? SubsectionAlignedSymbols : SubsectionGlobalSymbols;
        for (const TSubsection& s : FSubsections)
            if (s.Type == symbols)
                ReadSymbols(base::TByteReader(s.Data), version == 9 ? 4 : 32);
        const bool found = FFound;
        FMap.Finish();
        FMap.SetValid(found);
        if (found)
            return {};
        return {FSubsections.empty() ? TDebugStatus::Damaged : TDebugStatus::Empty};
    }

    void ReadNames(const base::TByteReader& b)
    {
        const uint32_t count = b.U32At(0);
        size_t at = 4;
        for (uint32_t k = 0; k < count && b.HasAt(at, 1); ++k) {
            const uint8_t length = b.U8At(at);
            if (!b.HasAt(at + 1, size_t{length} + 1))
                break;
            FNames.emplace_back(reinterpret_cast<const char*>(b.Data().data() + at + 1), length);
            at += size_t{length} + 2;
        }
    }

    // Names are numbered from 1; 0 and numbers past the table name nothing.
    const std::string* Name(uint32_t index) const
    {
        return index && index <= FNames.size() ? &FNames[index - 1] : nullptr;
    }

    void ReadModule(const base::TByteReader& b)
    {
        const std::string* name = Name(b.U32At(8));
        const std::string unit = name ? WithoutPath(*name) : std::string();
        const uint16_t count = b.U16At(4);
        for (uint16_t k = 0; k < count; ++k) {
            const size_t at = 28 + 12 * size_t{k};
            if (!b.HasAt(at, 12))
                break;
            const uint16_t flags = b.U16At(at + 2);
            const uint32_t offset = b.U32At(at + 4), size = b.U32At(at + 8);
            if (size && flags) {
                FMap.AddMergedSegment(true, offset, size, unit);
                FFound = true;
            }
        }
    }

    void ReadSourceModule(const base::TByteReader& b)
    {
        const uint16_t files = b.U16At(0);
        const uint16_t highest = FLayout.SecondSectionIsCode ? 3 : 2;
        // Offset tables that run past the data end the loops: a damaged count can ask for
        // 65535 x 65535 blocks.
        for (uint16_t f = 0; f < files && b.HasAt(4 + 4 * size_t{f}, 4); ++f) {
            const uint32_t file = b.U32At(4 + 4 * size_t{f});
            if (!b.HasAt(file, 6))
                continue;
            const uint16_t blocks = b.U16At(file);
            const std::string* name = Name(b.U32At(file + 2));
            const std::string unit = name ? WithoutPath(*name) : std::string();
            for (uint16_t k = 0; k < blocks && b.HasAt(file + 6 + 4 * size_t{k}, 4); ++k) {
                const uint32_t block = b.U32At(file + 6 + 4 * size_t{k});
                if (!b.HasAt(block, 4))
                    continue;
                const uint16_t segment = b.U16At(block), pairs = b.U16At(block + 2);
                if (segment == 0 || segment > highest || !b.HasAt(block + 4, size_t{pairs} * 6))
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
                    const uint32_t offset = b.U32At(block + 4 + 4 * size_t{i}) + shift;
                    const uint16_t line = b.U16At(block + 4 + 4 * size_t{pairs} + 2 * size_t{i});
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

    void ReadSymbols(const base::TByteReader& b, size_t start)
    {
        for (size_t at = start; b.HasAt(at, 4);) {
            const uint16_t length = b.U16At(at), kind = b.U16At(at + 2);
            if (length == 0 || !b.HasAt(at, size_t{length} + 2))
                break;
            const base::TByteReader r(b.BytesAt(at, size_t{length} + 2));
            bool code = true;
            uint32_t nameIndex = 0, offset = 0;
            bool use = false;
            if ((kind == 0x204 || kind == 0x205) && length > 43) {
                nameIndex = r.U32At(40), offset = r.U32At(28), use = true;
            } else if (kind == 0x20 && length > 25) {
                nameIndex = r.U32At(12), offset = r.U32At(20), use = true;
            } else if ((kind == 0x201 || kind == 0x202) && length >= 20) {
                nameIndex = r.U32At(16), offset = r.U32At(4), code = false, use = true;
            } else if (kind == 0x21 && length > 23) {
                nameIndex = r.U32At(12), offset = r.U32At(20), code = false, use = true;
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

TDebugRead ReadTd32(std::span<const uint8_t> data, const TTd32Layout& layout, TMapFile& map)
{
    return TTd32Reader(layout, map).Read(data);
}

} // namespace crash
