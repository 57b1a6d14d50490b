#pragma once
// The headers of a PE image, read from its bytes: either a file as it lies on disk or a
// module as the loader mapped it (then an offset is a relative virtual address). Every
// read is checked against the bytes given; a damaged image yields no image or empty parts.
// Platform-free.

#include "crash/core/debug_info/map_file.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace crash {

constexpr uint32_t PeSectionCode = 0x20, PeSectionInitializedData = 0x40, PeSectionUninitializedData = 0x80;

struct TPeSection
{
    std::string Name;
    uint32_t VirtualAddress = 0, VirtualSize = 0;
    uint32_t PointerToRawData = 0, SizeOfRawData = 0;
    uint32_t Characteristics = 0;
};

struct TPeDebugEntry
{
    uint32_t Type = 0, SizeOfData = 0, AddressOfRawData = 0, PointerToRawData = 0;
};

struct TPeExport
{
    uint32_t Rva = 0;
    std::string Name;
};

class TPeImage
{
public:
    static std::optional<TPeImage> Parse(std::span<const uint8_t> bytes, bool mapped);

    bool Is64 = false;
    uint64_t ImageBase = 0;
    uint32_t SizeOfImage = 0, AddressOfEntryPoint = 0;
    uint32_t CheckSum = 0;       // as the header holds it; 0 when the build stamped none
    uint32_t CheckSumOffset = 0; // where the header holds it
    uint32_t BaseOfCode = 0, SizeOfCode = 0, BaseOfData = 0;
    uint32_t SizeOfInitializedData = 0, SizeOfUninitializedData = 0;
    uint32_t PointerToSymbolTable = 0, NumberOfSymbols = 0;
    uint32_t DebugDirectoryRva = 0, DebugDirectorySize = 0;
    std::vector<TPeSection> Sections;

    // The bytes of `size` at a relative virtual address (in a file: through the section
    // that holds it); empty when they are not all there.
    std::span<const uint8_t> AtRva(uint32_t rva, uint32_t size) const;
    // How many bytes were parsed.
    size_t Size() const noexcept { return FBytes.size(); }
    // The bytes of `size` at an offset of what was parsed.
    std::span<const uint8_t> AtOffset(uint32_t offset, uint32_t size) const;
    // The entries of the debug directory.
    std::vector<TPeDebugEntry> DebugEntries() const;
    // The named exports, sorted by address.
    std::vector<TPeExport> Exports() const;
    // The code and data ranges of the module loaded at `hInstance`: the first section
    // when it is code (up to the end of the second when that is code too), else the
    // header's code base and size; data from BaseOfData (PE32) or the first data section.
    TModuleRanges Ranges(uint32_t hInstance) const;
    // Whether the first two sections both hold code (TD32 line blocks then number them 1 and 2).
    bool SecondSectionIsCode() const;

private:
    std::span<const uint8_t> FBytes;
    bool FMapped = false;
    uint32_t FExportRva = 0, FExportSize = 0;
};

// The checksum of an image file as the PE format defines it (the one the loader checks for
// drivers): `checksumOffset` is where the file holds its own, which counts as 0.
uint32_t PeFileChecksum(std::span<const uint8_t> file, uint32_t checksumOffset);

} // namespace crash
