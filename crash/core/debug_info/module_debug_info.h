#pragma once
// The symbol information of the modules of this process: one TMapFile per module, created
// on first need from the module's sources and kept until the process ends, and the lookups
// the crash reporter makes for an address.

#include "crash/core/debug_info/map_file.h"
#include "crash/core/debug_info/pe_image.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// What is kept of a module: its file, its tables (a usable empty map when it has no
// information), and for a module without information its named exports by RVA. The
// pointers stay valid until the process ends.
struct TModuleSymbols
{
    uint32_t Handle = 0;
    std::wstring FileName; // with its folder
    const TMapFile* Map = nullptr;
    const std::vector<TPeExport>* Exports = nullptr;
};
// The module that contains `address`; nothing outside every module.
std::optional<TModuleSymbols> ModuleSymbols(uint32_t address);

// The function at an address as "unit.function"; for a module without information the
// name of the export it lies in, in parentheses; empty when nothing is known.
std::string FunctionName(uint32_t address);

} // namespace crash
