#include "crash/settings/module_settings.h"

#include "crash/settings/settings_resource.h"

namespace crash {
namespace {

bool Accessible(const MEMORY_BASIC_INFORMATION& info)
{
    return info.State == MEM_COMMIT && info.Protect != 0 && !(info.Protect & (PAGE_NOACCESS | PAGE_GUARD));
}

bool HasFileName(HMODULE module)
{
    wchar_t name[8];
    ::SetLastError(0);
    return ::GetModuleFileNameW(module, name, 8) > 0;
}

// The module whose image holds `address` when it qualifies as a source of settings.
HMODULE SettingsModuleAt(const void* address)
{
    MEMORY_BASIC_INFORMATION info;
    if (!::VirtualQuery(address, &info, sizeof(info)) || !Accessible(info))
        return nullptr;
    auto* module = static_cast<HMODULE>(info.AllocationBase);
    if (!module || module == ReporterModule() || !HasFileName(module) || SettingsResource(module).empty())
        return nullptr;
    return module;
}

bool UsableLinked(const base::ComPtr<ReportSettings>& s)
{
    return s && s->IsValid() && s->LinkInSettings();
}

} // namespace

HMODULE ReporterModule()
{
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ReporterModule), &module);
    return module;
}

bool ReporterShared()
{
    SettingsRegistry* registry = AcquireSettingsRegistry();
    if (!registry)
        return false;
    ::EnterCriticalSection(&registry->Lock);
    const bool shared = registry->Head && registry->Head->Next;
    ::LeaveCriticalSection(&registry->Lock);
    ReleaseSettingsRegistry(registry);
    return shared;
}

base::ComPtr<ReportSettings> FindLinkedSettings()
{
    base::ComPtr<ReportSettings> found;
    if (!SettingsResource(ReporterModule()).empty())
        found = ReportSettings::Create(ReporterModule());
    if (UsableLinked(found))
        return found;
    // Every module image in address order; the first linked-in one ends the walk.
    HMODULE previous = nullptr;
    MEMORY_BASIC_INFORMATION info;
    for (const BYTE* address = nullptr; ::VirtualQuery(address, &info, sizeof(info)) == sizeof(info);) {
        auto* module = static_cast<HMODULE>(info.AllocationBase);
        if (Accessible(info) && info.BaseAddress == info.AllocationBase && module != previous &&
            HasFileName(module) && !SettingsResource(module).empty()) {
            previous = module;
            base::ComPtr<ReportSettings> candidate = ReportSettings::Create(module);
            if (!found || UsableLinked(candidate))
                found = candidate;
            if (UsableLinked(found))
                return found;
        }
        const BYTE* next = static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return found;
}

base::ComPtr<ReportSettings> ModuleSettingsFor(HMODULE module)
{
    base::ComPtr<ReportSettings> settings = ReportSettings::Create(module);
    if (settings->IsValid() ? settings->LinkInSettings() : !ReporterShared())
        return settings;
    base::ComPtr<ReportSettings> linked = FindLinkedSettings();
    return UsableLinked(linked) ? linked : settings;
}

base::ComPtr<ReportSettings> CallerModuleSettings(const void* codeAddress)
{
    base::ComPtr<ReportSettings> found;
    if (HMODULE module = SettingsModuleAt(codeAddress))
        found = ReportSettings::Create(module);
    if (!UsableLinked(found)) {
        base::ComPtr<ReportSettings> linked = FindLinkedSettings();
        if (linked && (!found || UsableLinked(linked)))
            found = linked;
    }
    return found ? found : ReportSettings::Create(ReporterModule());
}

__attribute__((noinline)) base::ComPtr<ReportSettings> CallerModuleSettingsAtDepth(unsigned depth)
{
    // Depth 0 is this function's own return address, into its caller. Further up the chain
    // the system's back trace is asked; its first frame is this function's call site on
    // Windows but its return address on Wine, so which one it is is looked up first.
    void* const own = __builtin_return_address(0);
    if (depth == 0)
        return CallerModuleSettings(own);
    void* first = nullptr;
    const ULONG skip = ::RtlCaptureStackBackTrace(0, 1, &first, nullptr) == 1 && first == own ? 0 : 1;
    void* frame = nullptr;
    if (::RtlCaptureStackBackTrace(skip + depth, 1, &frame, nullptr) != 1)
        frame = nullptr;
    return CallerModuleSettings(frame);
}

__attribute__((noinline)) base::ComPtr<ReportSettings> CallerModuleSettings()
{
    return CallerModuleSettings(__builtin_return_address(0));
}

} // namespace crash
