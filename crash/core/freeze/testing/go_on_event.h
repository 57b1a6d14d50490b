#pragma once
// The event that lets freeze_child's main thread go on, named per process so that the stand-in
// dialogs of both modules in that process (the program's and freeze_module's) can set it.

#include <windows.h>

#include <string>

namespace crash::testing {

inline std::wstring GoOnEventName()
{
    return L"freeze_child go on " + std::to_wstring(::GetCurrentProcessId());
}

} // namespace crash::testing
