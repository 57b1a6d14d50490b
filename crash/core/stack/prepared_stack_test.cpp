#include "crash/core/stack/call_test.h"
#include "crash/core/stack/prepared_stack.h"
#include "crash/core/stack/testing/memory_image.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

using testing::TMemoryImage;

constexpr uint32_t Code = 0x401000, StackBottom = 0x12F000, StackTop = 0x130000;

// Code with a call of every form the byte test knows, and a jump that is none.
TMemoryImage Image()
{
    TMemoryImage m;
    m.Add(Code, 0x1000).Code = std::pair{Code, Code + 0x1000};
    m.PutBytes(0x40100B, {0xE8, 0, 0, 0, 0});             // call rel32, ends at 401010
    m.PutBytes(0x40102A, {0xFF, 0x15, 0, 0x20, 0x40, 0}); // call [402000], ends at 401030
    m.PutBytes(0x40103E, {0xFF, 0xD0});                   // call eax, ends at 401040
    m.PutBytes(0x401049, {0x9A, 0, 0, 0, 0, 0x08, 0});    // call far, ends at 401050
    m.PutBytes(0x40105C, {0xFF, 0x54, 0x24, 0x08});       // call [esp+8], ends at 401060
    m.PutBytes(0x401068, {0xFF, 0xE0});                   // jmp eax, ends at 40106A: no call
    m.PutBytes(0x401075, {0xFF, 0x25, 0, 0x20, 0x40, 0}); // jmp [402000], ends at 40107B: no call
    m.Add(StackBottom, StackTop - StackBottom);
    return m;
}

TEST(CallTest, BytePatternsOfCallInstructions)
{
    TMemoryImage m = Image();
    for (uint32_t v : {0x401010u, 0x401030u, 0x401040u, 0x401050u, 0x401060u})
        EXPECT_TRUE(CallCanEndAt(m, v)) << std::hex << v;
    for (uint32_t v :
         {0x40106Au, 0x40107Bu, 0x401011u, 7u, 0x401004u /* bytes before the region */, 0x50000000u})
        EXPECT_FALSE(CallCanEndAt(m, v)) << std::hex << v;
}

TEST(PreparedStack, RecordsCallsFromTheTopDownAndSkipsSavedFramePointers)
{
    TMemoryImage m = Image();
    // Frames: ebp 12FF00 -> 12FF40 -> 12FF80 -> 0 (the chain ends where it stops growing).
    m.Put32(0x12FF00, 0x12FF40);
    m.Put32(0x12FF04, 0x401010);
    m.Put32(0x12FF40, 0x12FF80);
    m.Put32(0x12FF44, 0x401030);
    m.Put32(0x12FF20, 0x401040); // a return address off the chain
    m.Put32(0x12FF60, 0x40106A); // after a jump: no entry
    m.Put32(0x12FFC0, 0x401050);
    EXPECT_EQ(FrameChainSlots(m, 0x12FF00, StackBottom, StackTop),
              (std::vector<uint32_t>{0x12FF04, 0x12FF44, 0x12FF84}));

    const auto entries = ReadPreparedStack(PrepareStack(m, StackBottom, StackTop, 0x12FF00));
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].Address, 0x401050u);
    EXPECT_FALSE(entries[0].Certain);
    EXPECT_EQ(entries[1].Address, 0x401030u);
    EXPECT_TRUE(entries[1].Certain);
    EXPECT_EQ(entries[2].Address, 0x401040u);
    EXPECT_FALSE(entries[2].Certain);
    EXPECT_EQ(entries[3].Address, 0x401010u);
    EXPECT_TRUE(entries[3].Certain);

    // The slot below a certain entry is not looked at, even when it holds a return address.
    m.Put32(0x12FF40, 0x401060);
    EXPECT_EQ(ReadPreparedStack(PrepareStack(m, StackBottom, StackTop, 0x12FF00)).size(), 4u);

    // A stop value ends the walk where it is found.
    m.Put32(0x12FF30, 0xDEADBEEF);
    const auto stopped = ReadPreparedStack(PrepareStack(m, StackBottom, StackTop, 0x12FF00, 0xDEADBEEF));
    ASSERT_EQ(stopped.size(), 2u);
    EXPECT_EQ(stopped[1].Address, 0x401030u);
}

TEST(PreparedStack, ChainsThatLoopOrLeaveTheStackEnd)
{
    TMemoryImage m = Image();
    m.Put32(0x12FF00, 0x12FF00); // names itself
    EXPECT_EQ(FrameChainSlots(m, 0x12FF00, StackBottom, StackTop), (std::vector<uint32_t>{0x12FF04}));
    m.Put32(0x12FF00, 0x12FE00); // points down
    EXPECT_EQ(FrameChainSlots(m, 0x12FF00, StackBottom, StackTop), (std::vector<uint32_t>{0x12FF04}));
    EXPECT_TRUE(FrameChainSlots(m, 0x50000000, StackBottom, StackTop).empty()); // unreadable, outside
    EXPECT_TRUE(FrameChainSlots(m, 0xFFFFFFFF, StackBottom, StackTop).empty());
    m.Put32(0x12FFF8, 0xFFFFFFF0); // a saved frame pointer near the top of the address space
    EXPECT_EQ(FrameChainSlots(m, 0x12FFF0, StackBottom, StackTop), (std::vector<uint32_t>{0x12FFF4}));
}

TEST(PreparedStack, UnreadableStacksAndDamagedStrings)
{
    TMemoryImage m;
    m.Add(StackBottom, 0x1000, false);
    EXPECT_TRUE(ReadPreparedStack(PrepareStack(m, StackBottom, StackBottom + 0x1000, 0)).empty());
    EXPECT_TRUE(ReadPreparedStack(PrepareStack(m, 8, 4, 0)).empty()); // top below bottom

    const std::vector<uint8_t> two{2, 0, 0, 0, 1, 0x10, 0x10, 0x40, 0, 0, 0x30, 0x10, 0x40, 0};
    EXPECT_EQ(ReadPreparedStack(two).size(), 2u);
    EXPECT_EQ(ReadPreparedStack({two.data(), two.size() - 1}).size(), 1u); // the second is cut
    std::vector<uint8_t> claims = two;
    claims[0] = 0xFF, claims[3] = 0xFF; // far more entries than bytes
    EXPECT_EQ(ReadPreparedStack(claims).size(), 2u);
    EXPECT_TRUE(ReadPreparedStack({two.data(), 3}).empty());
}

} // namespace
} // namespace crash
