// A second module of the test process with its own copy of the thread registry's code, as
// a DLL that carries the crash reporter has: it attaches to the block the test process
// made, names threads in it and reads what the process stored.

#include "crash/core/intercept/thread_registry_win.h"

#include <windows.h>

#include <cstring>

extern "C" {

__declspec(dllexport) int ModuleAttach()
{
    return crash::AttachThreadRegistry() == crash::TRegistryAttach::Attached;
}

__declspec(dllexport) void ModuleDetach()
{
    crash::DetachThreadRegistry();
}

__declspec(dllexport) DWORD ModuleMainThread()
{
    return crash::RegistryMainThreadId();
}

__declspec(dllexport) void ModuleName(DWORD thread, const char* name)
{
    crash::RegisterThreadInfo(thread, nullptr, name, 0, 0, nullptr);
}

// The stored name into `out` (size bytes with the NUL); false without an entry.
__declspec(dllexport) int ModuleLookup(DWORD thread, char* out, int size)
{
    const auto info = crash::LookupThreadInfo(thread);
    if (!info || size <= 0)
        return 0;
    const size_t n = std::min(info->Name.size(), static_cast<size_t>(size - 1));
    std::memcpy(out, info->Name.data(), n);
    out[n] = 0;
    return 1;
}
}
