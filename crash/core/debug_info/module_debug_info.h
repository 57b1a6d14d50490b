#pragma once
// The symbol information of the modules of this process: one TMapFile per module, created
// on first need from the module's sources and kept until the process ends, and the lookups
// the crash reporter makes for an address.

#include "crash/core/debug_info/map_file.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace crash {

// The symbol information of the module that contains `address`; null when the address lies
// in no module. A module without information has an empty, usable map.
const TMapFile* ModuleMapFile(uint32_t address);

// The map of a loaded module, made the way ModuleMapFile makes it but not cached.
TMapFile LoadModuleMapFile(HMODULE module, bool codeOnly, bool onlyOwnFiles);

struct TAddressInfo
{
    std::wstring ModuleName; // the module's file, empty when the address is in none
    std::string Unit;
    int32_t Line = 0;
    std::string PublicName;
    uint32_t PublicAddress = 0;
};
TAddressInfo AddressInfo(uint32_t address);

// The function at an address as "unit.function"; for a module without information the
// name of the export it lies in, in parentheses; empty when nothing is known.
std::string FunctionName(uint32_t address);

} // namespace crash
