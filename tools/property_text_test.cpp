#include "tools/property_text.h"

#include <gtest/gtest.h>

namespace tools {
namespace {

const char* const EveryKind = "object Vexcatch: TVexcatch\n"
                              "  A = int8 -128\n"
                              "  B = int16 32767\n"
                              "  C = 25\n"
                              "  D = string 'caf\xc3\xa9'\n"
                              "  E = utf8 '\xe2\x82\xac 5'\n"
                              "  F = false\n"
                              "  G = true\n"
                              "  H = '%appname% said ''no'''#13#10'next line'\n"
                              "  I = wstring '\xf0\x9f\x98\x80 smile'\n"
                              "  J = lutf8 ''\n"
                              "  object ContactForm: TVxForm\n"
                              "    Caption = wstring 'Kontakt'\n"
                              "    object : TVxEdit\n"
                              "    end\n"
                              "  end\n"
                              "end\n";

TEST(PropertyText, TextToBinaryToTextIsTheIdentityForEveryKind)
{
    const TTextParseResult parsed = ParsePropertyText(EveryKind);
    ASSERT_TRUE(parsed.Ok) << parsed.ErrorLine << ": " << parsed.Error;
    const auto& p = parsed.Root.Properties;
    ASSERT_EQ(p.size(), 10u);
    EXPECT_EQ(p[0].Kind, base::vkInt8);
    EXPECT_EQ(p[2].Kind, base::vkInt32);
    EXPECT_EQ(p[7].Kind, base::vkLString);
    EXPECT_EQ(p[7].Text, u"%appname% said 'no'\r\nnext line");
    EXPECT_EQ(p[8].Text, u"\U0001F600 smile");

    const std::vector<uint8_t> binary = base::WritePropertyStream(parsed.Root);
    const base::TStreamReadResult read = base::ReadPropertyStream(binary);
    ASSERT_EQ(read.Status, base::TStreamStatus::Ok);
    EXPECT_EQ(FormatPropertyText(read.Root), EveryKind);
    EXPECT_EQ(base::WritePropertyStream(ParsePropertyText(FormatPropertyText(read.Root)).Root), binary);
}

TEST(PropertyText, APropertyMayBeNamedLikeTheKeywords)
{
    const TTextParseResult parsed = ParsePropertyText("object A: TA\n  object = int16 -5\n  end = 1\nend\n");
    ASSERT_TRUE(parsed.Ok) << parsed.Error;
    ASSERT_EQ(parsed.Root.Properties.size(), 2u);
    EXPECT_EQ(parsed.Root.Properties[0].Name, "object");
    const TTextParseResult again = ParsePropertyText(FormatPropertyText(parsed.Root));
    ASSERT_TRUE(again.Ok) << again.Error;
    EXPECT_TRUE(again.Root == parsed.Root);
}

TEST(PropertyText, ErrorsNameTheirLine)
{
    EXPECT_EQ(ParsePropertyText("object A: TA\n  X = int8 200\nend\n").ErrorLine, 2);
    EXPECT_EQ(ParsePropertyText("object A: TA\n  X = 'open\nend\n").ErrorLine, 2);
    EXPECT_EQ(ParsePropertyText("object A: TA\n  X = 1\n").Error, "missing \"end\"");
    EXPECT_EQ(ParsePropertyText("# nothing\n").Error, "no object");
    EXPECT_EQ(ParsePropertyText("object A: TA\nend\nobject B: TB\nend\n").ErrorLine, 3);
    EXPECT_FALSE(ParsePropertyText("object A: TA\n  bad name = 1\nend\n").Ok);
    EXPECT_FALSE(ParsePropertyText("object A: TA\n  X = 99999999999\nend\n").Ok);
}

} // namespace
} // namespace tools
