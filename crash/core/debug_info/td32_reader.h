#pragma once
// The reader of TD32 symbol data, as the Borland/Embarcadero linkers write it into a .tds
// file or behind an image: the names, the modules' code segments, the source modules' line
// numbers and the procedures and data of the symbol records. Every offset, count and
// length is checked against the data given.

#include "crash/core/debug_info/debug_read_result.h"
#include "crash/core/debug_info/map_file.h"

#include <span>

namespace crash {

struct TTd32Layout
{
    // The module's first two sections both hold code: line blocks of segment 2 lie in the
    // second one, `SecondSectionDistance` bytes after the first.
    bool SecondSectionIsCode = false;
    uint32_t SecondSectionDistance = 0;
};

// "FB09" (older) or "FB0A" (newer) at the start of `data`, or 0.
int Td32Version(std::span<const uint8_t> data);

// Adds what the data describes to `map` (and finishes it); says why when it is no TD32 data,
// its directory leads to no subsection (Damaged), or it describes no code (Empty).
TDebugRead ReadTd32(std::span<const uint8_t> data, const TTd32Layout& layout, TMapFile& map);

} // namespace crash
