#pragma once
// The reader of a linker's detailed text map (the Borland format): segments, the detailed
// map of unit segments, publics by value, line numbers and the entry point. Lines that do
// not pass the column tests are skipped; any text is accepted.

#include "crash/core/debug_info/map_file.h"

#include <string_view>

namespace crash {

// Adds what the map describes to `map` (and finishes it); false when it holds nothing.
bool ReadTextMap(std::string_view text, TMapFile& map);

} // namespace crash
