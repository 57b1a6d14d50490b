#include "crash/settings/password_codec.h"
#include "crash/settings/settings_defaults.h"
#include "crash/settings/settings_property.h"
#include "crash/settings/testing/settings_table.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

using base::TStreamObject;

std::vector<uint8_t> Block(std::vector<base::TStreamProperty> properties, std::string cls = "TVexcatch",
                           std::string name = "Vexcatch")
{
    return base::WritePropertyStream(TStreamObject{cls, name, std::move(properties), {}});
}

TEST(SettingsBlock, RecordsInStreamOrderFirstMatchWinsAndLetterCaseCounts)
{
    const TSettingsParse parse =
        ParseSettingsBlock(Block({{"SmtpPort", base::vkInt32, 25, false, u""},
                                  {"autosave", base::vkTrue, 0, true, u""},
                                  {"SmtpPort", base::vkInt8, 0, false, u""},
                                  {"TitleBar", base::vkLString, 0, false, u"%appname%"},
                                  {"Small", base::vkInt16, -7, false, u""}}));
    ASSERT_TRUE(parse.HeaderOk);
    EXPECT_FALSE(parse.UnknownKind);
    ASSERT_EQ(parse.List.Count(), 5u);
    EXPECT_EQ(parse.List.Find("SmtpPort")->IntValue, 25);
    EXPECT_EQ(parse.List.Find("SmtpPort")->Type, ptInteger);
    EXPECT_EQ(parse.List.Find("AutoSave"), nullptr);
    EXPECT_EQ(parse.List.Find("autosave")->Type, ptBoolean);
    EXPECT_EQ(parse.List.Find("TitleBar")->StrValue, u"%appname%");
    EXPECT_EQ(parse.List.Find("Small")->IntValue, -7);
}

TEST(SettingsBlock, AnotherHeaderGivesAnEmptyListAndAnUnknownKindKeepsWhatCameBefore)
{
    EXPECT_FALSE(ParseSettingsBlock(Block({{"A", base::vkTrue, 0, true, u""}}, "TVexCatch")).HeaderOk);
    EXPECT_EQ(
        ParseSettingsBlock(Block({{"A", base::vkTrue, 0, true, u""}}, "TVexcatch", "Vexcatc")).List.Count(),
        0u);
    EXPECT_EQ(ParseSettingsBlock({}).List.Count(), 0u);

    std::vector<uint8_t> block =
        Block({{"A", base::vkTrue, 0, true, u""}, {"B", base::vkFalse, 0, false, u""}});
    block[block.size() - 3] =
        0x05; // B's kind byte (the record is the name, the kind, then the two end bytes)
    const TSettingsParse parse = ParseSettingsBlock(block);
    EXPECT_TRUE(parse.HeaderOk);
    EXPECT_TRUE(parse.UnknownKind);
    EXPECT_EQ(parse.BadKind, 5);
    ASSERT_EQ(parse.List.Count(), 1u);
    EXPECT_EQ(parse.List.Items()[0].Name, "A");
    EXPECT_EQ(InvalidSettingsMessage(0x1f), u"Internal error: Invalid settings resource (1f).");
}

TEST(SettingsBlock, StoredPasswordsAreDecodedWithServerAndAccount)
{
    const std::u16string smtp = EncodePassword(u"s\u00e9cret", "mail.example", "ada");
    const std::u16string tracker = EncodePassword(u"tr4cker", "bugs.example", "bob");
    EXPECT_NE(smtp, u"s\u00e9cret");
    const TSettingsParse parse =
        ParseSettingsBlock(Block({{"SmtpServer", base::vkLString, 0, false, u"mail.example"},
                                  {"SmtpAccount", base::vkLString, 0, false, u"ada"},
                                  {"SmtpPassword", base::vkLString, 0, false, smtp},
                                  {"HttpServer", base::vkLString, 0, false, u"bugs.example"},
                                  {"BugTrAccount", base::vkLString, 0, false, u"bob"},
                                  {"BugTrPassword", base::vkLString, 0, false, tracker},
                                  {"HttpPassword", base::vkLString, 0, false, u"zz"}}));
    EXPECT_EQ(parse.List.Find("SmtpPassword")->StrValue, u"s\u00e9cret");
    EXPECT_EQ(parse.List.Find("BugTrPassword")->StrValue, u"tr4cker");
    EXPECT_EQ(parse.List.Find("HttpPassword")->StrValue, u""); // not a stored form
    // Another key gives another text.
    EXPECT_NE(DecodePassword(smtp, "mail.example", "eve"), u"s\u00e9cret");
}

TEST(BuiltInDefaults, EverySettingOfTheTable)
{
    const TSettingsList& d = BuiltInDefaults();
    EXPECT_EQ(d.Count(), 138u);
    testing::ExpectEverySetting(d, testing::TSettingsTable::BuiltIn);
}

} // namespace
} // namespace crash
