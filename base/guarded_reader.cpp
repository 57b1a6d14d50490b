#include "base/guarded_reader.h"

#include "base/seh_frame.h"

#include <windows.h>

#include <cstring>

namespace base {
namespace {

bool CopyUnderGuard(const void* source, void* destination, size_t count)
{
    EXCEPTION_RECORD record;
    return CallUnderSehFrame([&] { std::memcpy(destination, source, count); }, record);
}

} // namespace

TGuardedReadSession::TGuardedReadSession()
{
    MEMORY_BASIC_INFORMATION info;
    for (uintptr_t address = 0;
         ::VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof(info)) == sizeof(info);) {
        const auto base = reinterpret_cast<uintptr_t>(info.BaseAddress);
        AddRegion(FAreas, base, info.RegionSize, ReadClass(info.State == MEM_COMMIT, info.Protect));
        const uintptr_t next = base + info.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
}

bool GuardedRead(const void* source, void* destination, size_t count, const TGuardedReadSession* session)
{
    if (count == 0)
        return true;
    const auto address = reinterpret_cast<uintptr_t>(source);
    TTryRead area{};
    if (session) {
        const TTryRead* found = AreaOf(session->Areas(), address, count);
        if (!found)
            return false;
        area = *found;
    } else {
        MEMORY_BASIC_INFORMATION info;
        if (::VirtualQuery(source, &info, sizeof(info)) != sizeof(info))
            return false;
        std::vector<TTryRead> one;
        AddRegion(one, reinterpret_cast<uintptr_t>(info.BaseAddress), info.RegionSize,
                  ReadClass(info.State == MEM_COMMIT, info.Protect));
        const TTryRead* found = AreaOf(one, address, count);
        if (!found)
            return false;
        area = *found;
    }
    if (area.Flags == rcNotReadable)
        return false;
    // Readable memory may have changed since the snapshot: it is copied under the guard too.
    if (CopyUnderGuard(source, destination, count))
        return true;
    if (area.Flags != rcExecuteOnly)
        return false;
    DWORD old = 0;
    if (!::VirtualProtect(const_cast<void*>(source), count, PAGE_EXECUTE_READ, &old))
        return false;
    const bool copied = CopyUnderGuard(source, destination, count);
    ::VirtualProtect(const_cast<void*>(source), count, old, &old);
    return copied;
}

} // namespace base
