#pragma once
// The full path of a loaded module's file, however long it is; empty when the system
// knows none.

#include <windows.h>

#include <string>

namespace base {

std::wstring ModulePath(HMODULE module);

} // namespace base
