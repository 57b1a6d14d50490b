// Fuzz target: any bytes as a linked image (headers, COFF symbols, DWARF sections) and as a
// DWARF line section on its own; the builder's readers take them without reading outside.
#include "tools/debug_tables.h"
#include "tools/dwarf_lines.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    (void)tools::BuildDebugTables({data, size});
    (void)tools::DecodeLineTable({{data, size}, {data, size}, {}});
    return 0;
}
