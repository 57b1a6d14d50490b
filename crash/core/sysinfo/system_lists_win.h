#pragma once
// What the bug report tells about the machine from the system: the "modules", "processes"
// and "hardware" plug-in texts, with the system data they are made of. A module or process
// that goes away while it is listed, or a file whose version can't be read, leaves that
// entry's fields empty; a missing API only leaves out what it would give.

#include "crash/core/sysinfo/system_lists.h"

#include <windows.h>

#include <string>
#include <vector>

namespace crash {

// The modules in the address space, in address order.
std::vector<TModuleEntry> CollectModules();
// The file version of a file as "major.minor.release.build"; empty when it has none.
std::u16string FileVersionText(const std::wstring& fileName);
// The processes of the machine, in the system's order.
std::vector<TProcessEntry> CollectProcesses();
// The present devices grouped by class. `classRoot` is where the class keys are read
// (HKLM in the program; a test may give another key).
THardwareList CollectHardware(HKEY classRoot = HKEY_LOCAL_MACHINE);
// The same on Windows 9x, from the registry: the entries of the configuration manager's
// "Enum" key (HKEY_DYN_DATA in the program) and the device and class keys under
// `machine` (HKLM in the program).
THardwareList CollectHardware9x(HKEY configManagerEnum, HKEY machine);

// The plug-in texts.
std::wstring ModulesListText();
std::wstring ProcessesListText();
std::wstring HardwareListText();

// UTF-16 both ways: wchar_t is 16 bits wide on Windows.
inline std::u16string AsU16(std::wstring_view s)
{
    return {s.begin(), s.end()};
}
inline std::wstring AsWide(std::u16string_view s)
{
    return {s.begin(), s.end()};
}

} // namespace crash
