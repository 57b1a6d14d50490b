#include "crash/core/intercept/patches_win.h"

#include "base/win_handle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

namespace crash {
namespace {

volatile int Base = 1;

// Routines long enough for a 5-byte jump, never inlined or merged.
[[gnu::noinline, gnu::noclone, gnu::aligned(16)]] int Original()
{
    return Base * 3 + 1;
}
[[gnu::noinline, gnu::noclone, gnu::aligned(16)]] int Second()
{
    return Base * 5 + 2;
}
[[gnu::noinline, gnu::noclone, gnu::aligned(16)]] int Replacement()
{
    return Base * 7 + 3;
}
[[gnu::noinline, gnu::noclone, gnu::aligned(16)]] int Other()
{
    return Base * 11 + 4;
}

using TRoutine = int (*)();
int Call(TRoutine routine)
{
    volatile TRoutine r = routine;
    return r();
}

// An executable block holding `bytes`.
struct TCode
{
    explicit TCode(std::initializer_list<uint8_t> bytes)
        : Memory(::VirtualAlloc(nullptr, 64, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE)),
          Bytes(static_cast<uint8_t*>(Memory.Get()))
    {
        std::copy(bytes.begin(), bytes.end(), Bytes);
    }
    void Put32(size_t at, uint32_t value) { std::memcpy(Bytes + at, &value, 4); }
    base::VirtualMemory Memory;
    uint8_t* Bytes;
};

uint32_t Address(const void* p)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

TEST(Patches, AJumpAtTheEntryIsRecordedOnceAndUndone)
{
    uint8_t before[5];
    std::memcpy(before, reinterpret_cast<const void*>(&Original), 5);
    TPatches p;
    ASSERT_TRUE(p.WriteJump(reinterpret_cast<void*>(&Original), reinterpret_cast<const void*>(&Replacement)));
    EXPECT_EQ(Call(&Original), 10);
    EXPECT_EQ(p.Count(), 1u);
    // The same bytes again: nothing new to record.
    ASSERT_TRUE(p.WriteJump(reinterpret_cast<void*>(&Original), reinterpret_cast<const void*>(&Replacement)));
    EXPECT_EQ(p.Count(), 1u);
    p.Undo();
    EXPECT_EQ(Call(&Original), 4);
    EXPECT_EQ(std::memcmp(before, reinterpret_cast<const void*>(&Original), 5), 0);
    EXPECT_EQ(p.Count(), 0u);
    // Unreadable places are refused.
    EXPECT_FALSE(p.WriteJump(nullptr, reinterpret_cast<const void*>(&Replacement)));
    EXPECT_EQ(p.Count(), 0u);
}

TEST(Patches, AJumpFollowsAnImportThunkToItsTarget)
{
    uint32_t cell = Address(reinterpret_cast<const void*>(&Second));
    TCode thunk({0xFF, 0x25});
    thunk.Put32(2, Address(&cell));
    TPatches p;
    ASSERT_TRUE(p.WriteJump(thunk.Bytes, reinterpret_cast<const void*>(&Replacement)));
    EXPECT_EQ(thunk.Bytes[0], 0xFF); // the thunk itself is untouched
    EXPECT_EQ(Call(&Second), 10);
    EXPECT_EQ(Call(reinterpret_cast<TRoutine>(thunk.Bytes)), 10);
    p.Undo();
    EXPECT_EQ(Call(&Second), 7);
}

TEST(Patches, UndoLeavesAPlaceThatSomebodyPatchedAfterUs)
{
    uint8_t before[5];
    std::memcpy(before, reinterpret_cast<const void*>(&Original), 5);
    TPatches ours, theirs;
    ASSERT_TRUE(
        ours.WriteJump(reinterpret_cast<void*>(&Original), reinterpret_cast<const void*>(&Replacement)));
    ASSERT_TRUE(theirs.WriteJump(reinterpret_cast<void*>(&Original), reinterpret_cast<const void*>(&Other)));
    ours.Undo();
    EXPECT_EQ(Call(&Original), 15); // still theirs
    theirs.Undo();
    EXPECT_EQ(Call(&Original), 10); // they put back what they found: our jump, unrecorded now
    // Put the routine back by hand for the other tests.
    DWORD old;
    ASSERT_TRUE(::VirtualProtect(reinterpret_cast<void*>(&Original), 5, PAGE_EXECUTE_READWRITE, &old));
    std::memcpy(reinterpret_cast<void*>(&Original), before, 5);
    ::VirtualProtect(reinterpret_cast<void*>(&Original), 5, old, &old);
    ::FlushInstructionCache(::GetCurrentProcess(), reinterpret_cast<void*>(&Original), 5);
    EXPECT_EQ(Call(&Original), 4);
}

TEST(Patches, CallsValuesAndThunks)
{
    // call Original; ret
    TCode caller({0xE8, 0, 0, 0, 0, 0xC3});
    caller.Put32(1, Address(reinterpret_cast<const void*>(&Original)) - Address(caller.Bytes + 5));
    const auto run = reinterpret_cast<TRoutine>(caller.Bytes);
    TPatches p;
    ASSERT_TRUE(p.WriteCall(caller.Bytes, reinterpret_cast<const void*>(&Replacement)));
    EXPECT_EQ(Call(run), 10);
    EXPECT_FALSE(p.WriteCall(caller.Bytes + 5, reinterpret_cast<const void*>(&Replacement))); // no call there

    uint32_t value = 5;
    ASSERT_TRUE(p.WriteValue(&value, 9));
    EXPECT_EQ(value, 9u);

    // A cell pointing at a routine, re-pointed to a thunk: mov eax, 42; ret.
    uint32_t cell = Address(reinterpret_cast<const void*>(&Other));
    const uint8_t code[] = {0xB8, 42, 0, 0, 0, 0xC3};
    void* thunk = p.WriteThunk(&cell, code, sizeof code);
    ASSERT_NE(thunk, nullptr);
    EXPECT_EQ(cell, Address(thunk));
    EXPECT_EQ(Call(reinterpret_cast<TRoutine>(static_cast<uintptr_t>(cell))), 42);
    EXPECT_EQ(p.Count(), 3u);

    p.UndoAndFree();
    EXPECT_EQ(Call(run), 4);
    EXPECT_EQ(value, 5u);
    EXPECT_EQ(cell, Address(reinterpret_cast<const void*>(&Other)));
    MEMORY_BASIC_INFORMATION info{};
    ::VirtualQuery(thunk, &info, sizeof info);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE)); // the thunk block is gone
}

} // namespace
} // namespace crash
