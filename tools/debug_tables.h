#pragma once
// The symbol tables of a linked image of this toolchain, as the container builder writes
// them: units and lines from the DWARF line table, functions from the COFF symbol table
// with their C++ names demangled.

#include "crash/core/debug_info/map_file.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tools {

// The toolchain's name of a symbol as a C++ programmer reads it: the underscore that i686
// puts in front of every name is dropped, and a mangled C++ name is demangled.
std::string DemangledName(const std::string& linked);

struct TDebugTables
{
    crash::TMapFile Map;
    size_t DwarfSize = 0; // of the image's .debug_ sections
};

// The tables of an image file; nullopt when it is no PE image.
std::optional<TDebugTables> BuildDebugTables(std::span<const uint8_t> file);

} // namespace tools
