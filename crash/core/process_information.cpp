#include "crash/core/process_information.h"

namespace crash {
namespace {

// Offsets in SYSTEM_PROCESS_INFORMATION of a 32-bit process.
constexpr size_t NextEntryOffset = 0;
constexpr size_t ImageNameLength = 56;
constexpr size_t ImageNameBuffer = 60;
constexpr size_t UniqueProcessId = 68;
constexpr size_t SessionIdOffset = 80;
constexpr size_t EntrySize = 84; // the part read here

uint32_t Read32(std::span<const uint8_t> b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint16_t Read16(std::span<const uint8_t> b, size_t at)
{
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

} // namespace

std::vector<TRawProcess> ParseProcessInformation(std::span<const uint8_t> buffer, uint32_t base)
{
    std::vector<TRawProcess> processes;
    size_t at = 0;
    while (buffer.size() >= EntrySize && at <= buffer.size() - EntrySize) {
        const auto entry = buffer.subspan(at);
        TRawProcess p;
        p.Id = Read32(entry, UniqueProcessId);
        p.SessionId = Read32(entry, SessionIdOffset);
        const uint16_t length = Read16(entry, ImageNameLength);
        const uint32_t name = Read32(entry, ImageNameBuffer);
        if (name == 0 || length == 0) {
            p.ImageName = u"Idle";
        } else {
            const uint64_t offset = static_cast<uint64_t>(name) - base;
            if (name >= base && offset + length <= buffer.size()) {
                for (size_t i = 0; i + 1 < length; i += 2)
                    p.ImageName += static_cast<char16_t>(Read16(buffer, static_cast<size_t>(offset) + i));
            }
        }
        processes.push_back(std::move(p));
        const uint32_t next = Read32(entry, NextEntryOffset);
        if (next == 0 || next > buffer.size() - at)
            break;
        at += next;
    }
    return processes;
}

} // namespace crash
