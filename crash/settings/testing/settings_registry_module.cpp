// A second module of the test process that carries the crash reporter's settings code and
// a settings block of its own, for the tests of the shared registry.
#include "crash/settings/settings_registry.h"

extern "C" __declspec(dllexport) crash::SettingsRegistry* ModuleAcquireRegistry()
{
    return crash::AcquireSettingsRegistry();
}

extern "C" __declspec(dllexport) void ModuleReleaseRegistry(crash::SettingsRegistry* registry)
{
    crash::ReleaseSettingsRegistry(registry);
}

extern "C" __declspec(dllexport) crash::ModuleSettingsBlock* ModuleAcquireOwnSettings(HMODULE self)
{
    return crash::AcquireModuleSettings(self);
}

extern "C" __declspec(dllexport) void ModuleReleaseSettings(crash::ModuleSettingsBlock* block)
{
    crash::ReleaseModuleSettings(block);
}
