#include "crash/settings/settings_registry.h"

#include "base/win_handle.h"
#include "crash/settings/settings_resource.h"

#include <cwchar>
#include <memory>

namespace crash {
namespace {

// This module's mapped view of the shared memory, kept while the module holds references.
struct ModuleView
{
    base::MappedView View;
    LONG References = 0;

    SettingsRegistry*& Registry() const { return *static_cast<SettingsRegistry**>(View.Get()); }
} TheView;

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
    const base::NamedMutexLock serialised(SettingsMutexName().c_str());
    if (TheView.View) {
        SettingsRegistry* registry = TheView.Registry();
        ++registry->RefCount;
        ++TheView.References;
        return registry;
    }
    const std::wstring name = SettingsBufferName();
    base::KernelHandle memory(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str()));
    bool created = false;
    if (!memory) {
        // Every user may open it: modules of one process can run under other tokens.
        SECURITY_DESCRIPTOR sd;
        ::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        ::SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
        SECURITY_ATTRIBUTES sa{sizeof(sa), &sd, FALSE};
        memory.Reset(
            ::CreateFileMappingW(INVALID_HANDLE_VALUE, &sa, PAGE_READWRITE, 0, sizeof(void*), name.c_str()));
        created = memory.Valid();
    }
    base::MappedView view(memory ? ::MapViewOfFile(memory.Get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(void*))
                                 : nullptr);
    if (!view) {
        ::MessageBoxW(nullptr, L"internal error (opening settings buffer)", L"Vexcatch", MB_OK);
        return nullptr;
    }
    TheView.View = std::move(view);
    if (created) {
        auto registry = std::make_unique<SettingsRegistry>();
        registry->SharedMemory = std::move(memory);
        TheView.Registry() = registry.release();
    }
    // Otherwise the creator keeps the shared memory open and this module's view keeps it
    // mapped: this module's handle is closed here.
    SettingsRegistry* registry = TheView.Registry();
    ++registry->RefCount;
    ++TheView.References;
    return registry;
}

void ReleaseSettingsRegistry(SettingsRegistry* registry)
{
    if (!registry)
        return;
    const base::NamedMutexLock serialised(SettingsMutexName().c_str());
    // The registry's memory and its handle of the shared memory end with the last reference
    // of the process; this module's view with the module's last one.
    const std::unique_ptr<SettingsRegistry> last(--registry->RefCount == 0 ? registry : nullptr);
    if (--TheView.References == 0)
        TheView.View.Reset();
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
        if (parse.Found) {
            auto block = std::make_unique<ModuleSettingsBlock>();
            block->RefCount = 1;
            block->Module = module;
            block->List = std::move(parse.List);
            *link = block.release();
            return *link;
        }
    }
    ReleaseSettingsRegistry(registry);
    return nullptr;
}

void ReleaseModuleSettings(ModuleSettingsBlock* block)
{
    // Settings objects that outlive this module's view (static objects ended after it at
    // process exit) have nothing left to release.
    if (!block || !TheView.View)
        return;
    // Every reference to a block holds a reference to the registry.
    SettingsRegistry* registry = TheView.Registry();
    {
        RegistryLock lock(registry);
        if (--block->RefCount == 0) {
            for (ModuleSettingsBlock** link = &registry->Head; *link; link = &(*link)->Next) {
                if (*link == block) {
                    *link = block->Next;
                    break;
                }
            }
            const std::unique_ptr<ModuleSettingsBlock> unlinked(block);
        }
    }
    ReleaseSettingsRegistry(registry);
}

void ReloadModuleSettings(ModuleSettingsBlock* block)
{
    if (!block || !TheView.View)
        return;
    RegistryLock lock(TheView.Registry());
    block->List = LoadModuleSettings(block->Module).List;
}

} // namespace crash
