#pragma once
// Where a module's symbol information comes from, in order: the container embedded in the
// module, TD32 data in memory, side files named like the module (".pdb", ".map", ".vex",
// ".jdbg"), then TD32 data in either form from memory, a ".tds" file or the module's own
// file. The platform gives the bytes; the order and the acceptance rules are here.

#include "crash/core/debug_info/map_file.h"
#include "crash/core/debug_info/pe_image.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace crash {

// What the loader needs of the platform for one module.
class IDebugSourceFiles
{
public:
    virtual ~IDebugSourceFiles() = default;
    // The module's file; side files are named after it.
    virtual std::wstring ModuleFileName() = 0;
    // The "VEX" resource "EXCEPT" of the loaded module; empty when there is none.
    virtual std::span<const uint8_t> EmbeddedContainer() = 0;
    // The loaded module's image as mapped, for its debug directory; nullopt without one.
    virtual std::optional<TPeImage> MappedImage() = 0;
    virtual std::optional<std::vector<uint8_t>> ReadFile(const std::wstring& path) = 0;
    // The last write time in whole seconds; nullopt when the file does not exist.
    virtual std::optional<int64_t> WriteTime(const std::wstring& path) = 0;
    // Reads a PDB into the map (through the system's debug-help library).
    virtual bool ReadPdb(const std::wstring& path, TMapFile& map) = 0;
    // The 31-character identity of the full information in the module's settings block
    // (MinDebugInfo), for a module that carries minimal information only.
    virtual std::string MinDebugInfo() = 0;
};

// The file name with its last extension replaced (an extension begins after the last
// path separator).
std::wstring ChangeExtension(const std::wstring& path, const std::wstring& extension);

// The TD32 data of a PE file: only where the debug directory lies at the start of the
// last section, from the file offset its first entry gives; a file that is no PE image
// holds TD32 data from its first byte.
std::span<const uint8_t> Td32OfFile(std::span<const uint8_t> file);

// The TD32 data the debug directory of a mapped image points to; empty when there is none.
std::span<const uint8_t> Td32OfMappedImage(const TPeImage& image);

// Reads a container: a full one directly; a minimal one takes the identity from the
// settings and looks for the full information in the ".vex" side file, whose identity must
// match, and otherwise keeps its own tables (unnamed) and the identity.
bool LoadContainer(std::span<const uint8_t> container, IDebugSourceFiles& files, TMapFile& map);

// Tries the sources in their order; true when one gave information. With `onlyOwnFiles`
// only the library's own container (embedded or ".vex") is accepted.
bool LoadDebugInformation(IDebugSourceFiles& files, bool onlyOwnFiles, TMapFile& map);

} // namespace crash
