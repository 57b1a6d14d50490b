#include "crash/core/intercept/patches_win.h"

#include "base/guarded_reader.h"

#include <windows.h>

#include <cstring>

namespace crash {
namespace {

uint32_t Rel32(const void* from, const void* to)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(to) - reinterpret_cast<uintptr_t>(from));
}

// Writes `size` bytes at `at`, making the memory writable for the moment.
bool Store(uint8_t* at, const uint8_t* bytes, size_t size)
{
    DWORD old = 0;
    if (!::VirtualProtect(at, size, PAGE_EXECUTE_READWRITE, &old))
        return false;
    std::memcpy(at, bytes, size);
    ::VirtualProtect(at, size, old, &old);
    ::FlushInstructionCache(::GetCurrentProcess(), at, size);
    return true;
}

} // namespace

uint32_t* TPatches::ImportThunkCell(void* at)
{
    uint8_t head[6];
    if (!base::GuardedRead(at, head, sizeof head) || head[0] != 0xFF || head[1] != 0x25)
        return nullptr;
    uint32_t* cell = nullptr;
    std::memcpy(&cell, head + 2, sizeof cell);
    return cell;
}

void* TPatches::FollowImportThunk(void* at)
{
    uint32_t target = 0;
    const uint32_t* cell = ImportThunkCell(at);
    if (!cell || !base::GuardedRead(cell, &target, sizeof target) || !target)
        return at;
    return reinterpret_cast<void*>(static_cast<uintptr_t>(target));
}

bool TPatches::Write(void* at, const uint8_t* bytes, size_t size)
{
    auto* place = static_cast<uint8_t*>(at);
    std::vector<uint8_t> previous(size);
    const std::lock_guard<base::SrwLock> lock(FLock);
    if (!base::GuardedRead(place, previous.data(), size))
        return false;
    if (std::memcmp(previous.data(), bytes, size) == 0)
        return true; // already there: nothing to record
    if (!Store(place, bytes, size))
        return false;
    FRecords.push_back({place, std::move(previous), std::vector<uint8_t>(bytes, bytes + size)});
    return true;
}

bool TPatches::WriteJump(void* at, const void* to)
{
    uint8_t* entry = static_cast<uint8_t*>(FollowImportThunk(at));
    uint8_t jump[5] = {0xE9};
    const uint32_t rel = Rel32(entry + 5, to);
    std::memcpy(jump + 1, &rel, 4);
    return Write(entry, jump, sizeof jump);
}

bool TPatches::WriteCall(void* call, const void* to)
{
    auto* place = static_cast<uint8_t*>(call);
    uint8_t opcode = 0;
    if (!base::GuardedRead(place, &opcode, 1) || opcode != 0xE8)
        return false;
    const uint32_t rel = Rel32(place + 5, to);
    return Write(place + 1, reinterpret_cast<const uint8_t*>(&rel), 4);
}

bool TPatches::WriteValue(void* at, uint32_t value)
{
    return Write(at, reinterpret_cast<const uint8_t*>(&value), 4);
}

void* TPatches::WriteThunk(void* at, const uint8_t* code, size_t size)
{
    base::VirtualMemory block(
        ::VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    if (!block)
        return nullptr;
    std::memcpy(block.Get(), code, size);
    ::FlushInstructionCache(::GetCurrentProcess(), block.Get(), size);
    const uint32_t value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block.Get()));
    if (!Write(at, reinterpret_cast<const uint8_t*>(&value), 4))
        return nullptr;
    void* thunk = block.Get();
    const std::lock_guard<base::SrwLock> lock(FLock);
    FThunks.push_back(std::move(block));
    return thunk;
}

void TPatches::UndoLocked()
{
    for (auto it = FRecords.rbegin(); it != FRecords.rend(); ++it) {
        std::vector<uint8_t> now(it->Written.size());
        if (base::GuardedRead(it->Address, now.data(), now.size()) && now == it->Written)
            Store(it->Address, it->Previous.data(), it->Previous.size());
    }
    FRecords.clear();
}

void TPatches::Undo()
{
    const std::lock_guard<base::SrwLock> lock(FLock);
    UndoLocked();
}

void TPatches::UndoAndFree()
{
    const std::lock_guard<base::SrwLock> lock(FLock);
    UndoLocked();
    FThunks.clear();
}

size_t TPatches::Count() const
{
    const std::lock_guard<base::SrwLock> lock(FLock);
    return FRecords.size();
}

} // namespace crash
