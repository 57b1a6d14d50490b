#include "crash/core/x86/process_code_memory.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>

namespace crash {
namespace {

// The module whose image contains `address`, read from its headers through the guarded
// reader: its base, its NT headers and where its section table starts.
bool ModuleHeaders(TProcessCodeMemory& memory, uint32_t address, uint32_t& base, IMAGE_NT_HEADERS32& nt,
                   uint32_t* sectionTable = nullptr)
{
    MEMORY_BASIC_INFORMATION region;
    if (!::VirtualQuery(reinterpret_cast<void*>(static_cast<uintptr_t>(address)), &region, sizeof region) ||
        region.State != MEM_COMMIT || region.Type != MEM_IMAGE)
        return false;
    base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(region.AllocationBase));
    IMAGE_DOS_HEADER dos;
    if (!memory.Read(base, reinterpret_cast<uint8_t*>(&dos), sizeof dos) ||
        dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0 || dos.e_lfanew > 0x10000)
        return false;
    const uint32_t at = base + static_cast<uint32_t>(dos.e_lfanew);
    if (!memory.Read(at, reinterpret_cast<uint8_t*>(&nt), sizeof nt) || nt.Signature != IMAGE_NT_SIGNATURE ||
        nt.FileHeader.Machine != IMAGE_FILE_MACHINE_I386)
        return false;
    if (sectionTable)
        *sectionTable =
            at + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
    return true;
}

} // namespace

bool TProcessCodeMemory::Read(uint32_t address, uint8_t* out, size_t size)
{
    return base::GuardedRead(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), out, size,
                             FSession);
}

std::optional<std::pair<uint32_t, uint32_t>> TProcessCodeMemory::CodeRange(uint32_t address)
{
    uint32_t base = 0, sectionTable = 0;
    IMAGE_NT_HEADERS32 nt;
    if (!ModuleHeaders(*this, address, base, nt, &sectionTable))
        return std::nullopt;
    const IMAGE_OPTIONAL_HEADER32& o = nt.OptionalHeader;
    uint32_t begin = base + o.BaseOfCode, end = begin + o.SizeOfCode;
    // The first section when it is code, through the second when that is code too.
    IMAGE_SECTION_HEADER first, second;
    if (nt.FileHeader.NumberOfSections > 0 &&
        Read(sectionTable, reinterpret_cast<uint8_t*>(&first), sizeof first) &&
        (first.Characteristics & IMAGE_SCN_CNT_CODE)) {
        begin = base + first.VirtualAddress;
        end = begin + first.Misc.VirtualSize;
        if (nt.FileHeader.NumberOfSections > 1 &&
            Read(sectionTable + sizeof first, reinterpret_cast<uint8_t*>(&second), sizeof second) &&
            (second.Characteristics & IMAGE_SCN_CNT_CODE))
            end = base + second.VirtualAddress + second.Misc.VirtualSize;
    }
    // Widened by the data, where compilers of the time placed code as well.
    if (o.BaseOfData) {
        const uint32_t dataBegin = base + o.BaseOfData;
        const uint32_t dataEnd = dataBegin + o.SizeOfInitializedData + o.SizeOfUninitializedData;
        begin = std::min(begin, dataBegin);
        end = std::max(end, dataEnd);
    }
    return std::make_pair(begin, end);
}

std::optional<uint32_t> TProcessCodeMemory::ImageEnd(uint32_t address)
{
    uint32_t base = 0;
    IMAGE_NT_HEADERS32 nt;
    if (!ModuleHeaders(*this, address, base, nt))
        return std::nullopt;
    return base + nt.OptionalHeader.SizeOfImage;
}

} // namespace crash
