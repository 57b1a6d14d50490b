#include "crash/core/intercept/import_patches_win.h"

#include "crash/settings/module_settings.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <vector>

namespace crash {
namespace {

// Points the import-table cells of `module` that hold a patch's real function at its hook.
void PatchModule(TPatches& patches, HMODULE module, const std::vector<TImportPatch>& list)
{
    auto* base = reinterpret_cast<uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    // The headers lie in the image's first page.
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 ||
        dos->e_lfanew > static_cast<LONG>(0x1000 - sizeof(IMAGE_NT_HEADERS32)))
        return;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        return;
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const uint32_t size = nt->OptionalHeader.SizeOfImage;
    if (!imports.VirtualAddress || imports.VirtualAddress >= size)
        return;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         reinterpret_cast<const uint8_t*>(d + 1) <= base + size && d->Name; ++d) {
        if (!d->FirstThunk || d->FirstThunk >= size)
            continue;
        for (auto* cell = reinterpret_cast<uint32_t*>(base + d->FirstThunk);
             reinterpret_cast<uint8_t*>(cell + 1) <= base + size && *cell; ++cell)
            for (const TImportPatch& p : list)
                if (p.Real && *cell == static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p.Real)))
                    patches.WriteValue(cell, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p.Hook)));
    }
}

} // namespace

void PatchImports(TPatches& patches, const std::vector<TImportPatch>& list)
{
    for (const TImportPatch& p : list) {
        uint32_t* cell = p.Real ? TPatches::ImportThunkCell(const_cast<void*>(p.Real)) : nullptr;
        void* target = cell ? TPatches::FollowImportThunk(const_cast<void*>(p.Real)) : nullptr;
        if (!cell || target == p.Real || target == p.Hook)
            continue;
        if (p.Original)
            *p.Original = target;
        patches.WriteValue(cell, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p.Hook)));
    }
    // A reporter that lives in a library (beside another in the executable, perhaps)
    // patches only its own module's imports.
    const HMODULE reporter = ReporterModule();
    if (reporter && reporter != ::GetModuleHandleW(nullptr)) {
        PatchModule(patches, reporter, list);
        return;
    }
    std::vector<HMODULE> modules(1024);
    DWORD needed = 0;
    if (!::EnumProcessModules(::GetCurrentProcess(), modules.data(),
                              static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed))
        return;
    modules.resize(std::min<size_t>(modules.size(), needed / sizeof(HMODULE)));
    for (HMODULE module : modules)
        PatchModule(patches, module, list);
}

} // namespace crash
