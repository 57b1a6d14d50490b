#include "base/crc32.h"

#include <gtest/gtest.h>

#include <cstring>

namespace base {
namespace {

TEST(Crc32, KnownValuesAndContinuation)
{
    const char* text = "123456789";
    EXPECT_EQ(Crc32(text, 9), 0xCBF43926u);
    EXPECT_EQ(Crc32(text + 4, 5, Crc32(text, 4)), 0xCBF43926u);
    EXPECT_EQ(Crc32(nullptr, 0), 0u);
    EXPECT_EQ(Crc32("IEND", 4), 0xAE426082u);
}

} // namespace
} // namespace base
