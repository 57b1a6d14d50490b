#include "base/global_memory.h"

#include <cstring>

namespace base {
namespace {

// Locks a global block for the lifetime of the scope.
class GlobalLockScope
{
public:
    explicit GlobalLockScope(HGLOBAL memory) noexcept : FMemory(memory), FData(::GlobalLock(memory)) {}
    GlobalLockScope(const GlobalLockScope&) = delete;
    GlobalLockScope& operator=(const GlobalLockScope&) = delete;
    ~GlobalLockScope()
    {
        if (FData)
            ::GlobalUnlock(FMemory);
    }
    void* Data() const noexcept { return FData; }

private:
    HGLOBAL FMemory;
    void* FData;
};

} // namespace

GlobalMemory GlobalCopy(std::span<const uint8_t> bytes)
{
    GlobalMemory memory(::GlobalAlloc(GMEM_MOVEABLE, bytes.size()));
    if (!memory)
        return {};
    {
        const GlobalLockScope lock(memory.Get());
        if (!lock.Data())
            return {};
        if (!bytes.empty())
            std::memcpy(lock.Data(), bytes.data(), bytes.size());
    }
    return memory;
}

std::vector<uint8_t> GlobalBytes(HGLOBAL memory)
{
    const SIZE_T size = ::GlobalSize(memory);
    const GlobalLockScope lock(memory);
    if (!lock.Data())
        return {};
    const auto* p = static_cast<const uint8_t*>(lock.Data());
    return {p, p + size};
}

} // namespace base
