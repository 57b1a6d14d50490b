#include "crash/core/system_info.h"

#include <vector>

namespace crash {

std::u16string FileVersionText(const std::wstring& fileName)
{
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(fileName.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<uint8_t> data(size);
    if (!::GetFileVersionInfoW(fileName.c_str(), 0, size, data.data()))
        return {};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof *info || info->dwSignature != 0xFEEF04BD)
        return {};
    const std::string text = std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
                             std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
                             std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
                             std::to_string(LOWORD(info->dwFileVersionLS));
    return {text.begin(), text.end()};
}

std::vector<TModuleEntry> CollectModules()
{
    std::vector<TModuleEntry> modules;
    uintptr_t address = 0;
    void* previousBase = nullptr;
    MEMORY_BASIC_INFORMATION region;
    while (::VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.AllocationBase == region.BaseAddress &&
            region.AllocationBase != previousBase) {
            wchar_t name[MAX_PATH * 2];
            const DWORD n =
                ::GetModuleFileNameW(static_cast<HMODULE>(region.AllocationBase), name, MAX_PATH * 2);
            if (n > 0 && n < MAX_PATH * 2) {
                std::wstring full(name, n);
                wchar_t longName[MAX_PATH * 2];
                const DWORD l = ::GetLongPathNameW(full.c_str(), longName, MAX_PATH * 2);
                if (l > 0 && l < MAX_PATH * 2)
                    full.assign(longName, l);
                const size_t slash = full.find_last_of(L"\\/");
                const size_t split = slash == std::wstring::npos ? 0 : slash + 1;
                TModuleEntry m;
                m.Handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(region.AllocationBase));
                m.Name = AsU16(std::wstring_view(full).substr(split));
                m.Path = AsU16(std::wstring_view(full).substr(0, split));
                m.Version = FileVersionText(full);
                modules.push_back(std::move(m));
            }
        }
        previousBase = region.AllocationBase;
        const uintptr_t next = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
        if (next <= address)
            break; // the top of the address space
        address = next;
    }
    return modules;
}

std::wstring ModulesListText()
{
    return AsWide(ModulesText(CollectModules()));
}

} // namespace crash
