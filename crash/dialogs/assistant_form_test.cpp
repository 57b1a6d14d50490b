// The assistant forms as their resources define them: the three stock forms compiled from
// their text in the source tree, and the reader's rules on streams the tests write.

#include "base/property_stream.h"
#include "crash/dialogs/assistant_form.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace crash {
namespace {

TFormDefinition StockForm(const char* name)
{
    std::ifstream in(std::string(LUMIGATE_FORMS_DIR) + "/" + name + ".bin", std::ios::binary);
    const std::vector<uint8_t> data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const TFormReadResult read = ReadFormDefinition(data);
    EXPECT_FALSE(read.UnsupportedKind);
    return read.Form;
}

std::vector<std::u16string> Names(const TFormDefinition& form)
{
    std::vector<std::u16string> names;
    for (const TFormItem& item : form.Items)
        names.push_back(item.Name);
    return names;
}

base::TStreamProperty Text(std::string name, std::u16string text)
{
    return {std::move(name), base::vkLString, 0, false, std::move(text)};
}

base::TStreamProperty Int(std::string name, int32_t value)
{
    return {std::move(name), base::vkInt32, value, false, u""};
}

base::TStreamProperty Bool(std::string name, bool value)
{
    return {std::move(name), value ? base::vkTrue : base::vkFalse, 0, value, u""};
}

TEST(AssistantForm, TheStockFormsAreReadAsTheirTextDefinesThem)
{
    const TFormDefinition contact = StockForm("contact_form");
    EXPECT_EQ(contact.Name, u"ContactForm");
    EXPECT_EQ(contact.Message, u"Contact Information");
    EXPECT_EQ(contact.OnAction, u"Vexcatch.HandleContactForm");
    EXPECT_EQ(Names(contact),
              (std::vector<std::u16string>{u"ContinueBtn", u"SkipBtn", u"CancelBtn", u"Label1", u"NameEdit",
                                           u"Label2", u"EmailEdit", u"MemCheck"}));
    EXPECT_EQ(contact.Items[mbContinue].ShownCaption(), u"Continue");
    EXPECT_FALSE(contact.Items[mbSkip].Enabled);
    EXPECT_EQ(contact.Items[3].Kind, TItemKind::Label);
    EXPECT_EQ(contact.Items[3].Caption, u"your name:");
    const TFormItem& name = contact.Items[4];
    EXPECT_EQ(name.Kind, TItemKind::Edit);
    EXPECT_TRUE(name.Optional && name.Colored);
    EXPECT_EQ(name.OutputName, u"contact name");
    EXPECT_EQ(name.OutputType, otHeader);
    EXPECT_FALSE(contact.Items[6].Optional);
    EXPECT_EQ(contact.Items[7].Kind, TItemKind::CheckBox);
    EXPECT_FALSE(contact.Items[7].Checked);
    EXPECT_TRUE(contact.Items[7].OutputName.empty());

    const TFormDefinition details = StockForm("details_form");
    EXPECT_EQ(details.Message, u"Error Details");
    EXPECT_TRUE(details.OnAction.empty());
    ASSERT_EQ(details.Items.size(), 5u);
    EXPECT_EQ(details.Items[4].Lines, 9);
    EXPECT_EQ(details.Items[4].OutputType, otOwnSection);
    EXPECT_EQ(details.Items[4].OutputName, u"error details");
    EXPECT_TRUE(details.Items[mbSkip].Enabled);

    const TFormDefinition shot = StockForm("screenshot_form");
    EXPECT_EQ(shot.Timer, 250);
    EXPECT_EQ(shot.ActiveControl, u"ContinueBtn");
    EXPECT_EQ(Names(shot), (std::vector<std::u16string>{u"ContinueBtn", u"SkipBtn", u"CancelBtn",
                                                        u"AttachCheck", u"ScrShotImg", u"Label1"}));
    EXPECT_TRUE(shot.Items[3].Checked);
    EXPECT_EQ(shot.Items[4].Kind, TItemKind::Image);
    EXPECT_TRUE(shot.Items[4].Clickable && shot.Items[4].Border);
    EXPECT_EQ(shot.Items[4].Width, 0);
}

TEST(AssistantForm, ValuesAreAppliedAsTextsAndObjectsDepthFirst)
{
    base::TStreamObject root{"TVxForm", "MyForm", {Text("Message", u"Hello"), Text("MinWidth", u"400")}, {}};
    base::TStreamObject abort{
        "IVxButton", "AbortBtn", {Text("Caption", u"Stop"), Bool("Visible", false)}, {}};
    base::TStreamObject memo{"IVxEdit",
                             "Memo",
                             {Text("Text", u"a%lf%b"), Int("Lines", 3), Text("Optional", u"Yes"),
                              Text("Valid", u"0"), Text("OutputType", u"nvoOwnSection"), Int("Unknown", 5)},
                             {}};
    base::TStreamObject check{"TVxCheckBox", "Check", {Text("Text", u"tick"), Text("Checked", u"TRUE")}, {}};
    // An item inside an item, and an object of no item kind, which configures the form.
    memo.Children.push_back(check);
    base::TStreamObject other{"TPanel", "Panel", {Int("Timer", 100)}, {}};
    base::TStreamObject label{"IVxLabel", "Plain", {}, {}};
    root.Children = {abort, memo, other, label};
    const TFormReadResult read = ReadFormDefinition(base::WritePropertyStream(root));
    const TFormDefinition& form = read.Form;
    EXPECT_EQ(form.Name, u"MyForm");
    EXPECT_EQ(form.Message, u"Hello");
    EXPECT_EQ(form.MinWidth, 400);
    EXPECT_EQ(form.Timer, 100);
    EXPECT_EQ(form.Items[mbCancel].Caption, u"Stop");
    EXPECT_TRUE(form.Items[mbCancel].Invisible);
    EXPECT_EQ(form.Items[mbContinue].Caption, u"Next >");
    EXPECT_EQ(Names(form), (std::vector<std::u16string>{u"ContinueBtn", u"SkipBtn", u"CancelBtn", u"Memo",
                                                        u"Check", u"Plain"}));
    const TFormItem& m = form.Items[3];
    EXPECT_EQ(m.Text, u"a\r\nb");
    EXPECT_EQ(m.Lines, 3);
    EXPECT_TRUE(m.Optional);
    EXPECT_FALSE(m.Valid);
    EXPECT_EQ(m.OutputType, otOwnSection);
    EXPECT_EQ(form.Items[4].Caption, u"tick");
    EXPECT_TRUE(form.Items[4].Checked);
    EXPECT_EQ(form.Items[5].ShownCaption(), u"Plain");
    EXPECT_EQ(FindItem(form, u"memo"), &form.Items[3]);
    EXPECT_EQ(FindItem(form, u"none"), nullptr);
}

TEST(AssistantForm, DamagedDefinitionsKeepTheMainButtonsAndStopAtAnUnknownKind)
{
    EXPECT_EQ(ReadFormDefinition({}).Form.Items.size(), 3u);
    const std::vector<uint8_t> junk{'X', 'P', 'F', '0', 1, 2, 3};
    EXPECT_EQ(ReadFormDefinition(junk).Form.Items.size(), 3u);

    base::TStreamObject root{"TVxForm", "F", {Text("Message", u"kept"), Int("Timer", 7)}, {}};
    std::vector<uint8_t> data = base::WritePropertyStream(root);
    const std::vector<uint8_t> timer{'T', 'i', 'm', 'e', 'r', base::vkInt32};
    const auto at = std::search(data.begin(), data.end(), timer.begin(), timer.end());
    ASSERT_NE(at, data.end());
    at[5] = 5; // an extended float, which forms never hold
    const TFormReadResult read = ReadFormDefinition(data);
    EXPECT_TRUE(read.UnsupportedKind);
    EXPECT_EQ(read.BadKind, 5);
    EXPECT_EQ(read.Form.Message, u"kept");
    EXPECT_EQ(read.Form.Timer, 0);
    // Cut anywhere, a definition reads as far as it goes.
    base::TStreamObject whole{"TVxForm", "F", {Text("Message", u"kept"), Int("Timer", INT32_MIN)}, {}};
    data = base::WritePropertyStream(whole);
    EXPECT_EQ(ReadFormDefinition(data).Form.Timer, INT32_MIN);
    for (size_t n = 0; n < data.size(); ++n) {
        const TFormDefinition cut = ReadFormDefinition(std::span(data.data(), n)).Form;
        EXPECT_EQ(cut.Items.size(), 3u) << n;
        EXPECT_TRUE(cut.Message.empty() || cut.Message == u"kept") << n;
        EXPECT_TRUE(cut.Timer == 0 || cut.Timer == INT32_MIN) << n;
    }
}

} // namespace
} // namespace crash
