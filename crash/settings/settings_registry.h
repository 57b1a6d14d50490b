#pragma once
// The process-wide registry of parsed settings blocks, shared by every module of the
// process that carries the crash reporter. It is published through the named shared memory
// "VexcatchSettingsBuf2" + process id (lower-case hexadecimal), which holds the registry's
// address; creating, opening and releasing it is serialised by the named mutex
// "VexcatchSettingsMtx" + the same process id.

#include "base/win_handle.h"
#include "crash/settings/settings_property.h"

#include <windows.h>

#include <string>

namespace crash {

struct ModuleSettingsBlock
{
    LONG RefCount = 0;
    HMODULE Module = nullptr;
    TSettingsList List;
    ModuleSettingsBlock* Next = nullptr;
};

struct SettingsRegistry
{
    SettingsRegistry() { ::InitializeCriticalSection(&Lock); }
    SettingsRegistry(const SettingsRegistry&) = delete;
    SettingsRegistry& operator=(const SettingsRegistry&) = delete;
    ~SettingsRegistry() { ::DeleteCriticalSection(&Lock); }

    LONG RefCount = 0;
    base::KernelHandle SharedMemory; // the creator's handle keeps the memory alive
    CRITICAL_SECTION Lock;
    ModuleSettingsBlock* Head = nullptr;
};

// The names of the shared memory and the mutex of this process.
std::wstring SettingsBufferName();
std::wstring SettingsMutexName();

// Takes a reference to the registry (creating or opening it); null when its shared memory
// can be neither created nor opened (the user is told in a message box).
SettingsRegistry* AcquireSettingsRegistry();
void ReleaseSettingsRegistry(SettingsRegistry* registry);

// Takes a reference to the parsed block of `module`, parsing and registering it on first
// use; null when the module has no settings block or there is no registry. Each block holds
// a reference to the registry.
ModuleSettingsBlock* AcquireModuleSettings(HMODULE module);
void ReleaseModuleSettings(ModuleSettingsBlock* block);
// Parses the module's block again; every in-memory change to it is lost.
void ReloadModuleSettings(ModuleSettingsBlock* block);

} // namespace crash
