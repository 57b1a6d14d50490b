// A second module of the test process that carries the crash reporter's settings code and
// a settings block of its own, for the tests of the shared registry and of the settings of
// a calling module.
#include "crash/settings/report_settings.h"
#include "crash/settings/settings_registry.h"

// Calls the test program's probe from this module's code (so that this module is the
// probe's caller) and gives the module whose settings it found.
extern "C" __declspec(dllexport) HMODULE ModuleCallProbe(base::ComPtr<crash::ReportSettings> (*probe)())
{
    const base::ComPtr<crash::ReportSettings> settings = probe();
    return settings ? settings->Module() : nullptr;
}

extern "C" __declspec(dllexport) HMODULE
    ModuleCallDepthProbe(base::ComPtr<crash::ReportSettings> (*probe)(unsigned), unsigned depth)
{
    const base::ComPtr<crash::ReportSettings> settings = probe(depth);
    return settings ? settings->Module() : nullptr;
}

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
