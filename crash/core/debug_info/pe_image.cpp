#include "crash/core/debug_info/pe_image.h"

#include "base/little_endian.h"

#include <algorithm>
#include <cstring>

namespace crash {
namespace {

using base::ReadLe16;
using base::ReadLe32;

constexpr uint32_t DirectoryExport = 0, DirectoryDebug = 6;

} // namespace

std::optional<TPeImage> TPeImage::Parse(std::span<const uint8_t> bytes, bool mapped)
{
    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z')
        return std::nullopt;
    const uint32_t nt = ReadLe32(bytes, 0x3C);
    // Signature, file header (20 bytes) and the optional header's magic.
    if (nt > bytes.size() || bytes.size() - nt < 4 + 20 + 2 || std::memcmp(&bytes[nt], "PE\0\0", 4) != 0)
        return std::nullopt;
    TPeImage image;
    image.FBytes = bytes;
    image.FMapped = mapped;
    const size_t file = nt + 4;
    const uint16_t sections = ReadLe16(bytes, file + 2);
    image.PointerToSymbolTable = ReadLe32(bytes, file + 8);
    image.NumberOfSymbols = ReadLe32(bytes, file + 12);
    const uint16_t optionalSize = ReadLe16(bytes, file + 16);
    const size_t opt = file + 20;
    if (bytes.size() - opt < optionalSize)
        return std::nullopt;
    const uint16_t magic = ReadLe16(bytes, opt);
    if (magic != 0x10B && magic != 0x20B)
        return std::nullopt;
    image.Is64 = magic == 0x20B;
    // The fields up to the directories' count: 96 bytes (PE32) or 112 (PE32+).
    const size_t fixed = image.Is64 ? 112 : 96;
    if (optionalSize < fixed)
        return std::nullopt;
    image.SizeOfCode = ReadLe32(bytes, opt + 4);
    image.SizeOfInitializedData = ReadLe32(bytes, opt + 8);
    image.SizeOfUninitializedData = ReadLe32(bytes, opt + 12);
    image.AddressOfEntryPoint = ReadLe32(bytes, opt + 16);
    image.BaseOfCode = ReadLe32(bytes, opt + 20);
    if (image.Is64) {
        image.ImageBase = ReadLe32(bytes, opt + 24) | static_cast<uint64_t>(ReadLe32(bytes, opt + 28)) << 32;
    } else {
        image.BaseOfData = ReadLe32(bytes, opt + 24);
        image.ImageBase = ReadLe32(bytes, opt + 28);
    }
    image.SizeOfImage = ReadLe32(bytes, opt + 56);
    image.CheckSumOffset = static_cast<uint32_t>(opt + 64);
    image.CheckSum = ReadLe32(bytes, opt + 64);
    const uint32_t directories =
        std::min<uint32_t>(ReadLe32(bytes, opt + fixed - 4), (optionalSize - fixed) / 8);
    if (directories > DirectoryExport) {
        image.FExportRva = ReadLe32(bytes, opt + fixed);
        image.FExportSize = ReadLe32(bytes, opt + fixed + 4);
    }
    if (directories > DirectoryDebug) {
        image.DebugDirectoryRva = ReadLe32(bytes, opt + fixed + 8 * DirectoryDebug);
        image.DebugDirectorySize = ReadLe32(bytes, opt + fixed + 8 * DirectoryDebug + 4);
    }
    const size_t table = opt + optionalSize;
    if ((bytes.size() - table) / 40 < sections)
        return std::nullopt;
    for (uint16_t k = 0; k < sections; ++k) {
        const size_t at = table + 40 * size_t{k};
        TPeSection s;
        const char* name = reinterpret_cast<const char*>(&bytes[at]);
        s.Name.assign(name, strnlen(name, 8));
        s.VirtualSize = ReadLe32(bytes, at + 8);
        s.VirtualAddress = ReadLe32(bytes, at + 12);
        s.SizeOfRawData = ReadLe32(bytes, at + 16);
        s.PointerToRawData = ReadLe32(bytes, at + 20);
        s.Characteristics = ReadLe32(bytes, at + 36);
        image.Sections.push_back(std::move(s));
    }
    return image;
}

std::span<const uint8_t> TPeImage::AtOffset(uint32_t offset, uint32_t size) const
{
    if (offset > FBytes.size() || FBytes.size() - offset < size)
        return {};
    return FBytes.subspan(offset, size);
}

std::span<const uint8_t> TPeImage::AtRva(uint32_t rva, uint32_t size) const
{
    if (FMapped)
        return AtOffset(rva, size);
    for (const TPeSection& s : Sections) {
        const uint32_t extent = std::max(s.VirtualSize, s.SizeOfRawData);
        if (rva < s.VirtualAddress || rva - s.VirtualAddress >= extent)
            continue;
        const uint32_t into = rva - s.VirtualAddress;
        if (s.SizeOfRawData < into || s.SizeOfRawData - into < size)
            return {};
        return AtOffset(s.PointerToRawData + into, size);
    }
    return {};
}

std::vector<TPeDebugEntry> TPeImage::DebugEntries() const
{
    std::vector<TPeDebugEntry> entries;
    const auto dir = AtRva(DebugDirectoryRva, DebugDirectorySize / 28 * 28);
    for (size_t at = 0; at + 28 <= dir.size(); at += 28)
        entries.push_back(
            {ReadLe32(dir, at + 12), ReadLe32(dir, at + 16), ReadLe32(dir, at + 20), ReadLe32(dir, at + 24)});
    return entries;
}

std::vector<TPeExport> TPeImage::Exports() const
{
    std::vector<TPeExport> out;
    const uint32_t rva = FExportRva, size = FExportSize;
    const auto dir = AtRva(rva, 40);
    if (dir.empty() || size < 40)
        return out;
    const uint32_t functions = ReadLe32(dir, 20), names = ReadLe32(dir, 24);
    const auto addresses = AtRva(ReadLe32(dir, 28), functions * 4);
    const auto namePointers = AtRva(ReadLe32(dir, 32), names * 4);
    const auto ordinals = AtRva(ReadLe32(dir, 36), names * 2);
    if ((functions && addresses.empty()) || (names && (namePointers.empty() || ordinals.empty())) ||
        functions > (1u << 20) || names > (1u << 20))
        return out;
    for (uint32_t k = 0; k < names; ++k) {
        const uint16_t ordinal = ReadLe16(ordinals, 2 * size_t{k});
        if (ordinal >= functions)
            continue;
        const uint32_t address = ReadLe32(addresses, 4 * size_t{ordinal});
        // A forwarder points into the export directory; it is no code of this module.
        if (address >= rva && address - rva < size)
            continue;
        std::string name;
        for (uint32_t at = ReadLe32(namePointers, 4 * size_t{k}); name.size() < 1024; ++at) {
            const auto c = AtRva(at, 1);
            if (c.empty() || c[0] == 0)
                break;
            name += static_cast<char>(c[0]);
        }
        out.push_back({address, std::move(name)});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const TPeExport& a, const TPeExport& b) { return a.Rva < b.Rva; });
    return out;
}

bool TPeImage::SecondSectionIsCode() const
{
    return Sections.size() > 1 && (Sections[0].Characteristics & PeSectionCode) &&
           (Sections[1].Characteristics & PeSectionCode);
}

TModuleRanges TPeImage::Ranges(uint32_t hInstance) const
{
    TModuleRanges r;
    r.HInstance = hInstance;
    if (!Sections.empty() && (Sections[0].Characteristics & PeSectionCode)) {
        const TPeSection& last = SecondSectionIsCode() ? Sections[1] : Sections[0];
        r.BaseOfCode = hInstance + Sections[0].VirtualAddress;
        r.TopOfCode = hInstance + last.VirtualAddress + last.VirtualSize;
    } else {
        r.BaseOfCode = hInstance + BaseOfCode;
        r.TopOfCode = r.BaseOfCode + SizeOfCode;
    }
    uint32_t data = BaseOfData;
    if (Is64) {
        data = 0;
        for (const TPeSection& s : Sections)
            if (s.Characteristics & (PeSectionInitializedData | PeSectionUninitializedData)) {
                data = s.VirtualAddress;
                break;
            }
    }
    r.BaseOfData = hInstance + data;
    r.TopOfData = r.BaseOfData + SizeOfInitializedData + SizeOfUninitializedData;
    return r;
}

uint32_t PeFileChecksum(std::span<const uint8_t> file, uint32_t checksumOffset)
{
    // 16-bit words added with the carries folded back in; an odd last byte is a word of
    // its own. The checksum field counts as 0.
    uint32_t sum = 0;
    for (size_t k = 0; k < file.size(); k += 2) {
        if (k == checksumOffset || k == size_t{checksumOffset} + 2)
            continue;
        sum += file[k] | (k + 1 < file.size() ? file[k + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + static_cast<uint32_t>(file.size());
}

} // namespace crash
