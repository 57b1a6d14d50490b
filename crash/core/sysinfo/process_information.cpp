#include "crash/core/sysinfo/process_information.h"

#include "base/little_endian.h"

namespace crash {
namespace {

// Offsets in SYSTEM_PROCESS_INFORMATION of a 32-bit process.
constexpr size_t NextEntryOffset = 0;
constexpr size_t ImageNameLength = 56;
constexpr size_t ImageNameBuffer = 60;
constexpr size_t UniqueProcessId = 68;
constexpr size_t SessionIdOffset = 80;
constexpr size_t EntrySize = 84; // the part read here

} // namespace

std::vector<TRawProcess> ParseProcessInformation(std::span<const uint8_t> buffer, uint32_t base)
{
    std::vector<TRawProcess> processes;
    size_t at = 0;
    while (buffer.size() >= EntrySize && at <= buffer.size() - EntrySize) {
        const auto entry = buffer.subspan(at);
        TRawProcess p;
        p.Id = base::ReadLe32(entry, UniqueProcessId);
        p.SessionId = base::ReadLe32(entry, SessionIdOffset);
        const uint16_t length = base::ReadLe16(entry, ImageNameLength);
        const uint32_t name = base::ReadLe32(entry, ImageNameBuffer);
        if (name == 0 || length == 0) {
            p.ImageName = u"Idle";
        } else {
            const uint64_t offset = static_cast<uint64_t>(name) - base;
            if (name >= base && offset + length <= buffer.size()) {
                for (size_t i = 0; i + 1 < length; i += 2)
                    p.ImageName +=
                        static_cast<char16_t>(base::ReadLe16(buffer, static_cast<size_t>(offset) + i));
            }
        }
        processes.push_back(std::move(p));
        const uint32_t next = base::ReadLe32(entry, NextEntryOffset);
        if (next == 0 || next > buffer.size() - at)
            break;
        at += next;
    }
    return processes;
}

} // namespace crash
