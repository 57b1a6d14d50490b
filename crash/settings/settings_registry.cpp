#include "crash/settings/settings_registry.h"

#include "base/win_handle.h"
#include "crash/settings/settings_resource.h"

#include <cwchar>

namespace crash {
namespace {

// This module's mapped view of the shared memory, kept while the module holds references.
struct ModuleView
{
    SettingsRegistry** View = nullptr;
    LONG References = 0;
} TheView;

// Holds the named mutex for the duration of a scope.
class MutexScope
{
public:
    MutexScope() : FMutex(::CreateMutexW(nullptr, FALSE, SettingsMutexName().c_str()))
    {
        if (FMutex)
            ::WaitForSingleObject(FMutex.Get(), INFINITE);
    }
    MutexScope(const MutexScope&) = delete;
    MutexScope& operator=(const MutexScope&) = delete;
    ~MutexScope()
    {
        if (FMutex)
            ::ReleaseMutex(FMutex.Get());
    }

private:
    base::KernelHandle FMutex;
};

class RegistryLock
{
public:
    explicit RegistryLock(SettingsRegistry* r) : FRegistry(r) { ::EnterCriticalSection(&r->Lock); }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;
    ~RegistryLock() { ::LeaveCriticalSection(&FRegistry->Lock); }

private:
    SettingsRegistry* FRegistry;
};

std::wstring WithProcessId(const wchar_t* prefix)
{
    wchar_t id[16];
    std::swprintf(id, 16, L"%lx", static_cast<unsigned long>(::GetCurrentProcessId()));
    return prefix + std::wstring(id);
}

} // namespace

std::wstring SettingsBufferName()
{
    return WithProcessId(L"VexcatchSettingsBuf2");
}
std::wstring SettingsMutexName()
{
    return WithProcessId(L"VexcatchSettingsMtx");
}

SettingsRegistry* AcquireSettingsRegistry()
{
    MutexScope serialised;
    if (TheView.View) {
        SettingsRegistry* registry = *TheView.View;
        ++registry->RefCount;
        ++TheView.References;
        return registry;
    }
    const std::wstring name = SettingsBufferName();
    HANDLE opened = ::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
    bool created = false;
    if (!opened) {
        // Every user may open it: modules of one process can run under other tokens.
        SECURITY_DESCRIPTOR sd;
        ::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        ::SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
        SECURITY_ATTRIBUTES sa{sizeof(sa), &sd, FALSE};
        opened =
            ::CreateFileMappingW(INVALID_HANDLE_VALUE, &sa, PAGE_READWRITE, 0, sizeof(void*), name.c_str());
        created = opened != nullptr;
    }
    void* view = opened ? ::MapViewOfFile(opened, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(void*)) : nullptr;
    if (!view) {
        if (opened)
            ::CloseHandle(opened);
        ::MessageBoxW(nullptr, L"internal error (opening settings buffer)", L"Vexcatch", MB_OK);
        return nullptr;
    }
    TheView.View = static_cast<SettingsRegistry**>(view);
    SettingsRegistry* registry;
    if (created) {
        registry = new SettingsRegistry;
        registry->SharedMemory = opened;
        ::InitializeCriticalSection(&registry->Lock);
        *TheView.View = registry;
    } else {
        // The creator keeps the shared memory open; this module's view keeps it mapped.
        ::CloseHandle(opened);
        registry = *TheView.View;
    }
    ++registry->RefCount;
    ++TheView.References;
    return registry;
}

void ReleaseSettingsRegistry(SettingsRegistry* registry)
{
    if (!registry)
        return;
    MutexScope serialised;
    const bool last = --registry->RefCount == 0;
    const bool lastOfModule = --TheView.References == 0;
    HANDLE memory = registry->SharedMemory;
    if (last) {
        ::DeleteCriticalSection(&registry->Lock);
        delete registry;
    }
    if (lastOfModule) {
        ::UnmapViewOfFile(TheView.View);
        TheView.View = nullptr;
    }
    if (last)
        ::CloseHandle(memory);
}

ModuleSettingsBlock* AcquireModuleSettings(HMODULE module)
{
    SettingsRegistry* registry = AcquireSettingsRegistry();
    if (!registry)
        return nullptr;
    {
        RegistryLock lock(registry);
        ModuleSettingsBlock** link = &registry->Head;
        for (; *link; link = &(*link)->Next) {
            if ((*link)->Module == module) {
                ++(*link)->RefCount;
                return *link;
            }
        }
        // Not registered yet: parsed now (the registry reference taken above stays with it).
        TSettingsParse parse = LoadModuleSettings(module);
        if (parse.HeaderOk) {
            auto* block = new ModuleSettingsBlock;
            block->RefCount = 1;
            block->Module = module;
            block->List = std::move(parse.List);
            *link = block;
            return block;
        }
    }
    ReleaseSettingsRegistry(registry);
    return nullptr;
}

void ReleaseModuleSettings(ModuleSettingsBlock* block)
{
    if (!block)
        return;
    // Every reference to a block holds a reference to the registry.
    SettingsRegistry* registry = *TheView.View;
    {
        RegistryLock lock(registry);
        if (--block->RefCount == 0) {
            for (ModuleSettingsBlock** link = &registry->Head; *link; link = &(*link)->Next) {
                if (*link == block) {
                    *link = block->Next;
                    break;
                }
            }
            delete block;
        }
    }
    ReleaseSettingsRegistry(registry);
}

void ReloadModuleSettings(ModuleSettingsBlock* block)
{
    if (!block)
        return;
    RegistryLock lock(*TheView.View);
    block->List = LoadModuleSettings(block->Module).List;
}

} // namespace crash
