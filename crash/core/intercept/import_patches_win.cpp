#include "crash/core/intercept/import_patches_win.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <vector>

namespace crash {
namespace {

// The import-table cells of `module` that hold `target`.
std::vector<uint32_t*> ImportCells(HMODULE module, const void* target)
{
    std::vector<uint32_t*> cells;
    auto* base = reinterpret_cast<uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return cells;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        return cells;
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const uint32_t size = nt->OptionalHeader.SizeOfImage;
    if (!imports.VirtualAddress || imports.VirtualAddress >= size)
        return cells;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         reinterpret_cast<const uint8_t*>(d + 1) <= base + size && d->Name; ++d) {
        if (!d->FirstThunk || d->FirstThunk >= size)
            continue;
        for (auto* cell = reinterpret_cast<uint32_t*>(base + d->FirstThunk);
             reinterpret_cast<uint8_t*>(cell + 1) <= base + size && *cell; ++cell)
            if (*cell == static_cast<uint32_t>(reinterpret_cast<uintptr_t>(target)))
                cells.push_back(cell);
    }
    return cells;
}

} // namespace

void PatchImports(TPatches& patches, const void* real, const void* hook)
{
    std::vector<HMODULE> modules(1024);
    DWORD needed = 0;
    if (!::EnumProcessModules(::GetCurrentProcess(), modules.data(),
                              static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed))
        return;
    modules.resize(std::min<size_t>(modules.size(), needed / sizeof(HMODULE)));
    for (HMODULE module : modules)
        for (uint32_t* cell : ImportCells(module, real))
            patches.WriteValue(cell, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hook)));
}

} // namespace crash
