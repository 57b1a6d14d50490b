#pragma once
// Symbols of a Microsoft PDB (or anything the system's debug-help library reads, such as
// the DWARF of a PE image under Wine) through dbghelp.dll. The library is loaded once, and
// only from the folder of the module that carries the reporter; every use of it holds the
// named mutex "VexcatchDbgHelp", so all modules of the process take turns.

#include "crash/core/debug_info/map_file.h"

#include <cstdint>
#include <string>

namespace crash {

// Whether dbghelp.dll was found beside the reporter with every function the reader needs.
bool DebugHelpAvailable();

// Reads the lines and function symbols of `path` into `map` (and finishes it). Addresses
// are the library's relative to 0x80000000, moved by `correctBase` (the code range's offset
// from the module's load address). False when the library is missing or the file gives
// nothing.
bool ReadPdb(const std::wstring& path, uint32_t correctBase, TMapFile& map);

// The code base correction of an image file that is not loaded: the first section's
// address when it is code, else BaseOfCode; 4096 when the file cannot be read.
uint32_t CorrectBaseOfFile(const std::wstring& path);

} // namespace crash
