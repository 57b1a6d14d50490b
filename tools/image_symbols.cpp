#include "tools/image_symbols.h"

#include "base/little_endian.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tools {
namespace {

constexpr size_t SymbolSize = 18;
constexpr uint8_t ClassExternal = 2, ClassStatic = 3, ClassLabel = 6;

using base::ReadLe32;

} // namespace

TImageSymbols::TImageSymbols(std::span<const uint8_t> file, const crash::TPeImage& image)
    : FFile(file), FImage(image)
{
    const uint64_t strings =
        uint64_t{image.PointerToSymbolTable} + uint64_t{image.NumberOfSymbols} * SymbolSize;
    if (image.PointerToSymbolTable && strings + 4 <= file.size())
        FStrings = static_cast<size_t>(strings);
}

std::string TImageSymbols::FullName(const std::string& name) const
{
    if (name.size() < 2 || name[0] != '/' || !FStrings)
        return name;
    size_t offset = 0;
    for (size_t k = 1; k < name.size(); ++k) {
        if (name[k] < '0' || name[k] > '9')
            return name;
        offset = offset * 10 + static_cast<size_t>(name[k] - '0');
    }
    if (offset >= FFile.size() - FStrings)
        return name;
    const char* p = reinterpret_cast<const char*>(FFile.data() + FStrings + offset);
    return std::string(p, strnlen(p, FFile.size() - FStrings - offset));
}

std::span<const uint8_t> TImageSymbols::Section(const std::string& name) const
{
    for (const crash::TPeSection& s : FImage.Sections)
        if (FullName(s.Name) == name)
            return FImage.AtOffset(
                s.PointerToRawData,
                std::min(s.VirtualSize ? s.VirtualSize : s.SizeOfRawData, s.SizeOfRawData));
    return {};
}

size_t TImageSymbols::DebugSize() const
{
    size_t size = 0;
    for (const crash::TPeSection& s : FImage.Sections)
        if (FullName(s.Name).starts_with(".debug_"))
            size += s.VirtualSize;
    return size;
}

std::string TImageSymbols::SymbolName(size_t at) const
{
    if (ReadLe32(FFile, at) != 0) {
        const char* p = reinterpret_cast<const char*>(FFile.data() + at);
        return std::string(p, strnlen(p, 8));
    }
    const uint32_t offset = ReadLe32(FFile, at + 4);
    if (!FStrings || offset >= FFile.size() - FStrings)
        return {};
    const char* p = reinterpret_cast<const char*>(FFile.data() + FStrings + offset);
    return std::string(p, strnlen(p, FFile.size() - FStrings - offset));
}

std::vector<TImageFunction> TImageSymbols::Functions() const
{
    std::vector<TImageFunction> out, cold;
    if (!FStrings)
        return out;
    for (uint32_t k = 0; k < FImage.NumberOfSymbols; ++k) {
        const size_t at = FImage.PointerToSymbolTable + size_t{k} * SymbolSize;
        const int16_t section = static_cast<int16_t>(base::ReadLe16(FFile, at + 12));
        const uint8_t storage = FFile[at + 16], aux = FFile[at + 17];
        k += aux;
        if (section <= 0 || static_cast<size_t>(section) > FImage.Sections.size() ||
            (storage != ClassExternal && storage != ClassStatic && storage != ClassLabel))
            continue;
        const crash::TPeSection& s = FImage.Sections[static_cast<size_t>(section) - 1];
        if (!(s.Characteristics & crash::PeSectionCode))
            continue;
        std::string name = SymbolName(at);
        const uint32_t address =
            static_cast<uint32_t>(FImage.ImageBase) + s.VirtualAddress + ReadLe32(FFile, at + 8);
        // The part of a function the compiler moved to a cold section of its own
        // (".text.unlikely.NAME") has no symbol but that section's: it is named as the
        // function's cold part, as a linked name (with the leading underscore) would be.
        static constexpr std::string_view Cold = ".text.unlikely.";
        if (name.size() > Cold.size() && name.starts_with(Cold))
            cold.push_back({address, "_" + name.substr(Cold.size()) + ".cold"});
        else if (!name.empty() && name[0] != '.') // not a section's own symbol nor a local label
            out.push_back({address, std::move(name)});
    }
    const auto byAddress = [](const TImageFunction& a, const TImageFunction& b) {
        return a.Address < b.Address;
    };
    std::stable_sort(out.begin(), out.end(), byAddress);
    // A cold section that holds a whole function starts at that function's own symbol.
    for (TImageFunction& c : cold)
        if (!std::binary_search(out.begin(), out.end(), c, byAddress))
            out.push_back(std::move(c));
    std::stable_sort(out.begin(), out.end(), byAddress);
    return out;
}

} // namespace tools
