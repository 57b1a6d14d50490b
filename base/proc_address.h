#pragma once
// A function of a loaded module by name, as a typed pointer; null when the module or the
// function is missing (functions that only some Windows versions have).

#include <windows.h>

namespace base {

template <class F> F ProcAddress(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

} // namespace base
