#pragma once
// The process list that NtQuerySystemInformation (class 5, SystemProcessInformation) fills
// in, read as a 32-bit process receives it. Platform-free so that any buffer can be fed to
// it: the reader never reads outside the buffer and stops at the first entry that doesn't
// fit.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace crash {

struct TRawProcess
{
    std::u16string ImageName; // "Idle" for the entry without a name
    uint32_t Id = 0;
    uint32_t SessionId = 0;
};

// `base` is the address the buffer was at when the system filled it: the entries' names
// point into it. A name pointing elsewhere is left empty.
std::vector<TRawProcess> ParseProcessInformation(std::span<const uint8_t> buffer, uint32_t base);

} // namespace crash
