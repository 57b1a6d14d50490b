#include "base/guarded_reader.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

namespace base {
namespace {

class Pages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Size = 0x1000;
        Memory = static_cast<uint8_t*>(
            ::VirtualAlloc(nullptr, 3 * Size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        ASSERT_NE(Memory, nullptr);
        std::memset(Memory, 0xAB, 3 * Size);
        DWORD old;
        ::VirtualProtect(Memory + Size, Size, PAGE_NOACCESS, &old);
        ::VirtualProtect(Memory + 2 * Size, Size, PAGE_EXECUTE, &old);
    }
    void TearDown() override { ::VirtualFree(Memory, 0, MEM_RELEASE); }
    uint8_t* Memory = nullptr;
    size_t Size = 0;
};

TEST_F(Pages, ReadableNoAccessAndExecuteOnlyMemory)
{
    const TGuardedReadSession session;
    for (const TGuardedReadSession* s : {static_cast<const TGuardedReadSession*>(nullptr), &session}) {
        uint8_t buffer[16] = {};
        EXPECT_TRUE(GuardedRead(Memory + 8, buffer, 16, s));
        EXPECT_EQ(buffer[0], 0xAB);
        EXPECT_FALSE(GuardedRead(Memory + Size, buffer, 4, s));      // no access
        EXPECT_FALSE(GuardedRead(Memory + Size - 8, buffer, 16, s)); // into the no-access page
        EXPECT_FALSE(GuardedRead(nullptr, buffer, 4, s));            // the null page
        std::memset(buffer, 0, sizeof(buffer));
        EXPECT_TRUE(GuardedRead(Memory + 2 * Size, buffer, 16, s)); // execute-only
        EXPECT_EQ(buffer[15], 0xAB);
        EXPECT_TRUE(GuardedRead(Memory, buffer, 0, s));
    }
    // The execute-only page keeps its protection.
    MEMORY_BASIC_INFORMATION info;
    ::VirtualQuery(Memory + 2 * Size, &info, sizeof(info));
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_EXECUTE));
}

TEST_F(Pages, TheSessionTableCoversTheAddressSpaceInOrder)
{
    const TGuardedReadSession session;
    const auto& areas = session.Areas();
    ASSERT_FALSE(areas.empty());
    EXPECT_EQ(areas.front().AreaBegin, 0u);
    for (size_t i = 1; i < areas.size(); ++i) {
        EXPECT_EQ(areas[i].AreaBegin, areas[i - 1].AreaEnd + 1);
        EXPECT_NE(areas[i].Flags, areas[i - 1].Flags); // neighbours of one class are merged
    }
    // This very test's code and stack are readable.
    int local = 42, copy = 0;
    EXPECT_TRUE(GuardedRead(&local, &copy, sizeof(copy), &session));
    EXPECT_EQ(copy, 42);
    uint8_t code[8];
    EXPECT_TRUE(GuardedRead(reinterpret_cast<const void*>(&GuardedRead), code, sizeof(code), &session));
}

} // namespace
} // namespace base
