#include "base/byte_reader.h"
#include "base/byte_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace base {
namespace {

TEST(ByteReader, ReadsLittleEndianAndStopsForGoodAtTheEnd)
{
    const std::vector<uint8_t> data{0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFE, 0xFF};
    TByteReader r(data);
    EXPECT_EQ(r.U8(), 0x01);
    EXPECT_EQ(r.U16(), 0x1234);
    EXPECT_EQ(r.U32(), 0x12345678u);
    EXPECT_EQ(r.Signed(2), -2);
    EXPECT_TRUE(r.AtEnd());
    EXPECT_TRUE(r.Ok());
    // One byte too many: 0, at the end, Truncated; and every later read fails too, even of
    // nothing, so a record can be read whole and checked once.
    EXPECT_EQ(r.U8(), 0);
    EXPECT_EQ(r.Status(), TReadStatus::Truncated);
    EXPECT_EQ(r.Pos(), data.size());

    TByteReader partial(data);
    partial.Skip(7);
    EXPECT_EQ(partial.U32(), 0u); // only two of four bytes left: nothing is taken
    EXPECT_EQ(partial.Status(), TReadStatus::Truncated);
    EXPECT_TRUE(partial.Bytes(0).empty());
    EXPECT_EQ(partial.Status(), TReadStatus::Truncated);
}

TEST(ByteReader, SignExtensionAndSizesOutsideTheirRange)
{
    const std::vector<uint8_t> data{0x80, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    TByteReader r(data);
    EXPECT_EQ(r.Signed(1), -128);
    EXPECT_EQ(r.Signed(2), -32768);
    EXPECT_EQ(r.Signed(4), 0x7FFFFFFF);
    EXPECT_EQ(r.Fixed(8), 0x0807060504030201u);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.Fixed(9), 0u); // wider than any integer: refused, not read
    EXPECT_EQ(r.Status(), TReadStatus::Truncated);
}

TEST(ByteReader, LebNumbersDropBitsBeyond64AndEndWithTheData)
{
    const std::vector<uint8_t> data{0xE5, 0x8E, 0x26, 0x7F, 0x80, 0x7F};
    TByteReader r(data);
    EXPECT_EQ(r.Uleb(), 624485u);
    EXPECT_EQ(r.Sleb(), -1);
    EXPECT_EQ(r.Sleb(), -128);
    EXPECT_TRUE(r.AtEnd());
    EXPECT_TRUE(r.Ok());

    std::vector<uint8_t> endless(20, 0xFF);
    endless.push_back(0x01);
    TByteReader wide(endless);
    EXPECT_EQ(wide.Uleb(), std::numeric_limits<uint64_t>::max());
    EXPECT_TRUE(wide.Ok());

    const std::vector<uint8_t> cut{0x80, 0x80};
    TByteReader truncated(cut);
    truncated.Uleb();
    EXPECT_EQ(truncated.Status(), TReadStatus::Truncated);
}

TEST(ByteReader, CountedAndTerminatedTexts)
{
    const std::vector<uint8_t> data{3, 'a', 'b', 'c', 'x', 'y', 0, 'z'};
    TByteReader r(data);
    EXPECT_EQ(r.ShortString(), "abc");
    EXPECT_EQ(r.CString(), "xy");
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.CString(), "z"); // no terminator: what is there, and Truncated
    EXPECT_EQ(r.Status(), TReadStatus::Truncated);

    const std::vector<uint8_t> longer{9, 'a', 'b'};
    TByteReader shortOfText(longer);
    EXPECT_EQ(shortOfText.ShortString(), "");
    EXPECT_EQ(shortOfText.Status(), TReadStatus::Truncated);
}

TEST(ByteReader, ReadsAtAnOffsetLeaveThePositionAndTheStatusAlone)
{
    const std::vector<uint8_t> data{1, 2, 3, 4, 5};
    TByteReader r(data);
    r.Skip(1);
    EXPECT_EQ(r.U32At(1), 0x05040302u);
    EXPECT_EQ(r.U32At(2), 0u);
    EXPECT_EQ(r.U16At(std::numeric_limits<size_t>::max()), 0);
    EXPECT_FALSE(r.HasAt(std::numeric_limits<size_t>::max(), 2));
    EXPECT_FALSE(r.HasAt(6, 0));
    EXPECT_TRUE(r.HasAt(5, 0));
    EXPECT_TRUE(r.BytesAt(3, 3).empty());
    EXPECT_EQ(r.BytesAt(3, 2).size(), 2u);
    EXPECT_EQ(r.Pos(), 1u);
    EXPECT_TRUE(r.Ok());
}

TEST(ByteReader, SeekingOutsideTheDataIsOutOfRange)
{
    const std::vector<uint8_t> data{1, 2, 3};
    TByteReader r(data, 3);
    EXPECT_TRUE(r.Ok());
    EXPECT_TRUE(r.AtEnd());
    r.Seek(1);
    EXPECT_EQ(r.U8(), 2);
    TByteReader past(data, 4);
    EXPECT_EQ(past.Status(), TReadStatus::OutOfRange);
    EXPECT_TRUE(past.AtEnd());
    past.U8();
    EXPECT_EQ(past.Status(), TReadStatus::OutOfRange); // the first reason is kept
}

TEST(ByteWriter, WritesWhatTheReaderReads)
{
    TByteWriter w;
    w.U8(0x1FF).U16(0xBEEF).U32(0xDEADBEEF).U32Be(0x01020304).ShortString(std::string(300, 'x'));
    const size_t patched = w.Size();
    w.U32(0).Chars("end").PadTo(w.Size() + 2).PadTo(0);
    w.PatchU32(patched, 77);
    const std::vector<uint8_t> bytes = w.Take();
    ASSERT_EQ(bytes.size(), 1 + 2 + 4 + 4 + 256 + 4 + 3 + 2u);
    TByteReader r(bytes);
    EXPECT_EQ(r.U8(), 0xFF);
    EXPECT_EQ(r.U16(), 0xBEEF);
    EXPECT_EQ(r.U32(), 0xDEADBEEFu);
    EXPECT_EQ(r.U8(), 1); // big-endian: the high byte first
    r.Skip(3);
    EXPECT_EQ(r.ShortString(), std::string(255, 'x'));
    EXPECT_EQ(r.U32(), 77u);
    EXPECT_EQ(r.Chars(3), "end");
    EXPECT_EQ(r.U16(), 0);
    EXPECT_TRUE(r.AtEnd());
    EXPECT_TRUE(r.Ok());
}

} // namespace
} // namespace base
