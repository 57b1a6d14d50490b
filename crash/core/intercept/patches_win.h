#pragma once
// Code patches with their records, so that every one can be undone: a 5-byte jump written
// over a routine's entry, the target of a relative call re-pointed, a 32-bit value (a
// pointer cell, an import entry, a virtual-method slot) replaced, and a pointer replaced by
// an executable thunk the patch owns. A patch whose bytes are already there records
// nothing; undoing restores a place only where our bytes are still there (somebody who
// patched it after us keeps theirs).

#include "base/srw_lock.h"
#include "base/win_handle.h"

#include <cstddef>
#include <cstdint>
#include <mutex>

#include <vector>

namespace crash {

class TPatches
{
public:
    TPatches() = default;
    ~TPatches() { UndoAndFree(); }
    TPatches(const TPatches&) = delete;
    TPatches& operator=(const TPatches&) = delete;

    // A relative jump to `to` over the first 5 bytes of the routine at `at`; a routine that
    // is an import thunk (jmp [cell], 0xFF 0x25) is followed to its target first.
    bool WriteJump(void* at, const void* to);
    // Re-points the relative call (0xE8) at `call` to `to`.
    bool WriteCall(void* call, const void* to);
    bool WriteValue(void* at, uint32_t value);
    // Copies `code` into an executable block of its own and points the cell at `at` to it;
    // the block is freed with the patch. Gives the block, or null.
    void* WriteThunk(void* at, const uint8_t* code, size_t size);

    // Restores every place that still holds our bytes, newest first; the records go, the
    // thunk blocks stay (a thread may still be inside one).
    void Undo();
    // Undo, and frees every thunk block.
    void UndoAndFree();
    size_t Count() const;

    // Where a jump at `at` lands when it follows an import thunk: the thunk's target, or `at`.
    static void* FollowImportThunk(void* at);
    // The cell an import thunk at `at` jumps through (jmp [cell], 0xFF 0x25), or null.
    static uint32_t* ImportThunkCell(void* at);

private:
    struct TRecord
    {
        uint8_t* Address;
        std::vector<uint8_t> Previous, Written;
    };
    bool Write(void* at, const uint8_t* bytes, size_t size);
    void UndoLocked();

    mutable base::SrwLock FLock;
    std::vector<TRecord> FRecords;
    // Every thunk block written, kept past Undo (code may still run in them).
    std::vector<base::VirtualMemory> FThunks;
};

} // namespace crash
