#include "base/property_stream.h"

#include <gtest/gtest.h>

namespace base {
namespace {

std::vector<uint8_t> Bytes(std::string_view s)
{
    return {s.begin(), s.end()};
}

std::vector<uint8_t> Stream(std::string_view records, std::string_view tail = std::string_view("\0\0", 2))
{
    std::string s = std::string("TPF0\x09TVexcatch\x08Vexcatch", 23);
    s.append(records);
    s.append(tail);
    return Bytes(s);
}

TEST(PropertyStream, ReadsEveryValueKind)
{
    using namespace std::string_literals;
    const std::string records = "\x01"
                                "a\x02\xfe"s // int8 -2
                                "\x01"
                                "b\x03\x34\x92"s // int16 0x9234
                                "\x01"
                                "c\x04\x19\x00\x00\x00"s // int32 25
                                "\x01"
                                "d\x06\x03\xe4\x62\x63"s // 8-bit "äbc"
                                "\x01"
                                "e\x07\x02\xc3\xa4"s // UTF-8 "ä"
                                "\x01"
                                "f\x08"s // false
                                "\x01"
                                "g\x09"s // true
                                "\x01"
                                "h\x0c\x02\x00\x00\x00hi"s // long 8-bit
                                "\x01"
                                "i\x12\x01\x00\x00\x00\x3b\x26"s // UTF-16 U+263B
                                "\x01"
                                "j\x14\x03\x00\x00\x00\xe2\x82\xac"s; // long UTF-8 "€"
    const TStreamReadResult r = ReadPropertyStream(Stream(records));
    ASSERT_EQ(r.Status, TStreamStatus::Ok);
    EXPECT_EQ(r.Root.ClassName, "TVexcatch");
    EXPECT_EQ(r.Root.Name, "Vexcatch");
    const auto& p = r.Root.Properties;
    ASSERT_EQ(p.size(), 10u);
    EXPECT_EQ(p[0].Int, -2);
    EXPECT_EQ(p[1].Int, static_cast<int16_t>(0x9234));
    EXPECT_EQ(p[2].Int, 25);
    EXPECT_EQ(p[3].Text, u"\u00e4bc");
    EXPECT_EQ(p[4].Text, u"\u00e4");
    EXPECT_FALSE(p[5].Bool);
    EXPECT_TRUE(p[6].Bool);
    EXPECT_EQ(p[7].Text, u"hi");
    EXPECT_EQ(p[8].Text, u"\u263b");
    EXPECT_EQ(p[9].Text, u"\u20ac");
    EXPECT_EQ(p[9].Kind, vkLUtf8String);

    // What was read is written back byte for byte.
    EXPECT_EQ(WritePropertyStream(r.Root), Stream(records));
}

TEST(PropertyStream, BadHeaderUnknownKindAndTruncation)
{
    std::vector<uint8_t> stream = Stream(std::string("\x01"
                                                     "c\x04\x19\x00\x00\x00",
                                                     7));
    for (size_t i = 0; i < 4; ++i) {
        std::vector<uint8_t> damaged = stream;
        damaged[i] ^= 0x20;
        EXPECT_EQ(ReadPropertyStream(damaged).Status, TStreamStatus::BadSignature);
        EXPECT_TRUE(ReadPropertyStream(damaged).Root.Properties.empty());
    }

    // An unknown kind stops the parse at that record; the records before it stay.
    const TStreamReadResult unknown = ReadPropertyStream(Stream(std::string("\x01"
                                                                            "a\x09"
                                                                            "\x01"
                                                                            "b\x05\x01\x02"
                                                                            "\x01"
                                                                            "c\x08",
                                                                            11)));
    EXPECT_EQ(unknown.Status, TStreamStatus::UnknownKind);
    EXPECT_EQ(unknown.BadKind, 5);
    ASSERT_EQ(unknown.Root.Properties.size(), 1u);
    EXPECT_EQ(unknown.Root.Properties[0].Name, "a");

    // Cut anywhere: never a fault, and never more than the complete records before the cut.
    for (size_t cut = 0; cut < stream.size(); ++cut) {
        const std::vector<uint8_t> part(stream.begin(), stream.begin() + static_cast<long>(cut));
        const TStreamReadResult r = ReadPropertyStream(part);
        EXPECT_NE(r.Status, TStreamStatus::Ok) << cut;
        EXPECT_LE(r.Root.Properties.size(), 1u);
    }

    // Lengths that point past the end, including one whose doubled size would overflow.
    EXPECT_EQ(ReadPropertyStream(Stream(std::string("\x01"
                                                    "w\x12\xff\xff\xff\xff",
                                                    7)))
                  .Status,
              TStreamStatus::Truncated);
    EXPECT_EQ(ReadPropertyStream(Stream(std::string("\x01"
                                                    "l\x0c\xff\xff\xff\x7f",
                                                    7)))
                  .Status,
              TStreamStatus::Truncated);
}

TEST(PropertyStream, NestedObjectsRoundTripAndDepthIsBounded)
{
    TStreamObject form{"TVxForm", "ContactForm", {{"Caption", vkWString, 0, false, u"Contact"}}, {}};
    form.Children.push_back({"TVxEdit", "Name", {{"Width", vkInt16, 300, false, u""}}, {}});
    form.Children.push_back(
        {"TVxLabel", "Hint", {}, {{"TVxImage", "Logo", {{"Visible", vkTrue, 0, true, u""}}, {}}}});
    const std::vector<uint8_t> bytes = WritePropertyStream(form);
    const TStreamReadResult r = ReadPropertyStream(bytes);
    ASSERT_EQ(r.Status, TStreamStatus::Ok);
    EXPECT_EQ(r.Root, form);

    std::string deep = "TPF0";
    for (int i = 0; i < 200; ++i)
        deep += std::string("\x01"
                            "C\x01"
                            "N\x00",
                            5);
    EXPECT_EQ(ReadPropertyStream(Bytes(deep)).Status, TStreamStatus::TooDeep);
}

} // namespace
} // namespace base
