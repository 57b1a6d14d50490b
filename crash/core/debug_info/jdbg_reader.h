#pragma once
// The reader of JCL binary debug files (".jdbg", version 1): source names, symbols and line
// numbers as delta-encoded lists, names in the format's 6-bit packing. A file whose size,
// signature, version or checksum is wrong is refused; every offset is checked.
//
// The header, as this reader and the tests' writer lay it out (little-endian):
//   0 "JDBG", 4 version (1 byte), 5 checksum-valid flag (1 byte), 8 checksum,
//   12 units, 16 source names, 20 symbols, 24 line numbers, 28 words, 32 module name
// (offsets of the lists and of the words area from the start of the file).

#include "crash/core/debug_info/debug_read_result.h"
#include "crash/core/debug_info/map_file.h"

#include <span>
#include <string>

namespace crash {

constexpr size_t JdbgHeaderSize = 36;

// The checksum a writer stores: the sum of all 32-bit words of the file with the checksum
// field 0, rotated right by 8 bits.
uint32_t JdbgChecksum(std::span<const uint8_t> file);

// Adds what the file describes to `map` (and finishes it); says why when the file is refused
// or holds nothing.
TDebugRead ReadJdbg(std::span<const uint8_t> file, TMapFile& map);

// The scramble of names marked with a first byte 1 (its own inverse).
std::string JdbgScramble(std::string text);

} // namespace crash
