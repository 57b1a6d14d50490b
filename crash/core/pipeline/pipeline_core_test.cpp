// The platform-free rules of the pipeline: the recent-exception ring with AutoRestart and
// AutoClose, the choice of the class filter's column, and the correction of an exception's
// address inside a known function.

#include "crash/core/pipeline/address_correction.h"
#include "crash/core/pipeline/class_filter.h"
#include "crash/core/pipeline/recent_exceptions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace crash {
namespace {

TEST(RecentExceptions, ZeroNeverOneAlwaysNOnlyAfterTenWithinNSeconds)
{
    TRecentExceptions ring;
    EXPECT_FALSE(ring.Says(0, 1000));
    EXPECT_TRUE(ring.Says(1, 1000));
    EXPECT_FALSE(ring.Says(60, 1000)); // no exception yet
    for (uint64_t t = 1000; t < 1009; ++t)
        ring.Add(t);
    EXPECT_FALSE(ring.Says(60, 1009)); // nine
    ring.Add(1009);
    EXPECT_EQ(ring.Times()[0], 1009u); // newest first
    EXPECT_EQ(ring.Times()[9], 1000u);
    EXPECT_TRUE(ring.Says(60, 1009));
    EXPECT_TRUE(ring.Says(60, 1060));  // the oldest is exactly 60 seconds old
    EXPECT_FALSE(ring.Says(60, 1061)); // now it is older
    EXPECT_TRUE(ring.Says(60, 999));   // the clock was set back: all count as new
    ring.Add(1100);                    // the oldest drops out
    EXPECT_EQ(ring.Times()[9], 1001u);
    EXPECT_FALSE(ring.Says(60, 1100));
    EXPECT_TRUE(ring.Says(99, 1100));

    // Into a restarted process and back, little-endian.
    const TRecentExceptions::TBytes bytes = ring.Bytes();
    EXPECT_EQ(bytes[0], 1100 & 0xFF);
    EXPECT_EQ(bytes[1], 1100 >> 8);
    EXPECT_EQ(TRecentExceptions::FromBytes(bytes).Times(), ring.Times());
    ring.Add(0x0123456789ABCDEFull);
    EXPECT_EQ(TRecentExceptions::FromBytes(ring.Bytes()).Times(), ring.Times());
}

TEST(ClassFilter, TheFirstListNamingTheClassOrAnAncestorWins)
{
    EXPECT_EQ(SplitClassList(u" EAccessViolation ,EZeroDivide,, \tEAbort "),
              (std::vector<std::u16string>{u"EAccessViolation", u"EZeroDivide", u"EAbort"}));
    EXPECT_TRUE(SplitClassList(u" , ").empty());

    const std::vector<std::u16string> chain = {u"std::out_of_range", u"std::logic_error", u"std::exception"};
    EXPECT_EQ(ChooseFilterColumn(chain, u"std::logic_error", u"std::out_of_range"), TFilterColumn::Filter1);
    EXPECT_EQ(ChooseFilterColumn(chain, u"int", u"STD::EXCEPTION"), TFilterColumn::Filter2); // letter case
    EXPECT_EQ(ChooseFilterColumn(chain, u"std::bad_alloc, int", u""), TFilterColumn::General);
    EXPECT_EQ(ChooseFilterColumn(chain, u"std::out", u"logic_error"), TFilterColumn::General); // whole names
    EXPECT_EQ(ChooseFilterColumn({}, u"int", u"int"), TFilterColumn::General);
}

// A function at 0x1000: push ebp; mov ebp, esp; call 0x1100; nop x4; pop ebp; ret.
class TFunctionMemory : public ICodeMemory
{
public:
    bool Read(uint32_t address, uint8_t* out, size_t size) override
    {
        if (address < Base || address - Base > Code.size() || size > Code.size() - (address - Base))
            return false;
        std::memcpy(out, Code.data() + (address - Base), size);
        return true;
    }
    std::optional<std::pair<uint32_t, uint32_t>> CodeRange(uint32_t) override
    {
        return std::pair{Base, Base + 0x1000};
    }
    static constexpr uint32_t Base = 0x1000;
    std::vector<uint8_t> Code = {0x55, 0x8B, 0xEC, 0xE8, 0xF8, 0x00, 0x00,
                                 0x00, 0x90, 0x90, 0x90, 0x90, 0x5D, 0xC3};
};

TEST(AddressCorrection, AnAddressFourBytesShortOfAnInstructionMovesThere)
{
    TFunctionMemory memory;
    EXPECT_EQ(CorrectedExceptAddress(memory, 0x1000, 0x1008), 0x1008u); // after the call
    EXPECT_EQ(CorrectedExceptAddress(memory, 0x1000, 0x1003), 0x1003u); // the call itself
    EXPECT_EQ(CorrectedExceptAddress(memory, 0x1000, 0x1004), 0x1008u); // inside the call, 4 short
    EXPECT_EQ(CorrectedExceptAddress(memory, 0x1000, 0x1005), 0x1009u); // 4 short of a nop
    EXPECT_EQ(CorrectedExceptAddress(memory, 0x1000, 0x1002), 0x1002u); // inside, and so is 4 further
    EXPECT_EQ(CorrectedExceptAddress(memory, 0x1000, 0x2000), 0x2000u); // outside the function
    EXPECT_EQ(CorrectedExceptAddress(memory, 0x3000, 0x3004), 0x3004u); // no function there
}

} // namespace
} // namespace crash
