#include "base/hex.h"

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(Hex, DollarLowercaseAndPadding)
{
    EXPECT_EQ(HexText(0), "$0");
    EXPECT_EQ(HexText(0xABC, 8), "$00000abc");
    EXPECT_EQ(HexText(0x123456789, 4), "$123456789"); // never cut
    EXPECT_EQ(HexText(0xFFFFFFFFFFFFFFFFull, 40), "$ffffffffffffffff");
    EXPECT_EQ(AddressText(0x401000), "00401000");
    EXPECT_EQ(AddressText(0xFFFFFFFF), "ffffffff");
}

} // namespace
} // namespace base
