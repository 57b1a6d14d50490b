#pragma once
// The compact container of debug information: the tables of a TMapFile as a table stream
// (packed integers and strings), compressed with deflate, enciphered, and wrapped in a
// header with a fixed signature, the payload length and the format version (2, or 3 with
// date, time, an identity word and flags). Platform-free; any bytes are read safely.

#include "crash/core/debug_info/debug_read_result.h"
#include "crash/core/debug_info/map_file.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace crash {

// The container's 14-character signature.
constexpr char ContainerSignature[] = "Vexcatch Debug";
constexpr uint32_t ContainerMinimalFlag = 1;

struct TExportOptions
{
    bool NewFormat = true;    // version 3 (else 2)
    bool MinimalOnly = false; // segments and publics without names (their identity is kept elsewhere)
    uint16_t DosDate = 0, DosTime = 0;
};

// The container of `map`'s code segments, code publics, lines and entry point.
std::vector<uint8_t> ExportContainer(const TMapFile& map, const TExportOptions& options);

struct TContainerHeader
{
    uint32_t PayloadLength = 0;
    uint32_t Version = 0;
    uint16_t DosDate = 0, DosTime = 0;
    uint32_t ThirdWord = 0;
    uint32_t Flags = 0;
    size_t PayloadOffset = 0;
};

// The header, when `data` starts with a container of version 2 or 3.
std::optional<TContainerHeader> ReadContainerHeader(std::span<const uint8_t> data);

// The 31-character identity of a container: its total length and the two words after the
// version, as "$xxxxxxxx, $xxxxxxxx, $xxxxxxxx".
std::string ContainerIdentity(std::span<const uint8_t> data);

// Reads the tables of a container into `map` (and finishes it); the units and publics of a
// minimal container are named "segment%" and "public%" with their index. Says why for
// anything that is no readable container of version 2 or 3.
TDebugRead ImportContainer(std::span<const uint8_t> data, TMapFile& map);

} // namespace crash
