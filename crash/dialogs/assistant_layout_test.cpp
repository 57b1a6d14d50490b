// The layout of assistant forms with a measure whose numbers can be followed by hand: item
// text 6 pixels a character and 13 high, main-button captions 7 a character, the header 9 a
// character, a 13 x 13 check mark.

#include "base/property_stream.h"
#include "crash/dialogs/assistant_layout.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace crash {
namespace {

int32_t Chars(std::u16string_view s)
{
    return static_cast<int32_t>(s.size());
}

TFormMeasure Measure(TFormSize picture = {})
{
    TFormMeasure m;
    m.ButtonCaption = [](std::u16string_view s) { return TFormSize{7 * Chars(s), 17}; };
    m.PlainButtonCaption = [](std::u16string_view s) { return TFormSize{6 * Chars(s), 13}; };
    m.Message = [](std::u16string_view s) { return TFormSize{9 * Chars(s), 18}; };
    m.ItemText = [](std::u16string_view s) { return TFormSize{6 * Chars(s), 13}; };
    m.WrappedItemText = [](std::u16string_view s, int32_t width) {
        const int32_t w = 6 * Chars(s);
        return TFormSize{std::min(w, width), 13 * std::max(1, (w + width - 1) / width)};
    };
    m.Picture = [picture](const TFormItem&) { return picture; };
    m.CheckMark = {13, 13};
    return m;
}

TFormDefinition StockForm(const char* name)
{
    std::ifstream in(std::string(LUMIGATE_FORMS_DIR) + "/" + name + ".bin", std::ios::binary);
    const std::vector<uint8_t> data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return ReadFormDefinition(data).Form;
}

TEST(AssistantLayout, TheStockFormsHaveTheirHandComputedPlaces)
{
    const TFormLayout contact = LayoutForm(StockForm("contact_form"), 2, Measure());
    EXPECT_EQ(contact.Width, 315); // buttons 3 x 85 + 32 = 287, header 171 + 38 + 36 = 245
    EXPECT_EQ(contact.Items[3], (TFormRect{21, 38, 269, 13})); // "your name:", 2 higher
    EXPECT_EQ(contact.Items[4], (TFormRect{21, 63, 273, 19})); // 12 below; the box 15 high
    EXPECT_EQ(EditBox(contact.Items[4]), (TFormRect{23, 65, 269, 15}));
    EXPECT_EQ(contact.Items[5], (TFormRect{21, 92, 269, 13}));
    EXPECT_EQ(contact.Items[6], (TFormRect{21, 117, 273, 19}));
    EXPECT_EQ(contact.Items[7], (TFormRect{21, 148, 66 + 13 + 8, 13})); // "remember me"
    EXPECT_EQ(contact.Height, 32 + 161 + 33);
    EXPECT_EQ(contact.Items[mbContinue], (TFormRect{8, 185, 85, 32}));
    EXPECT_EQ(contact.Items[mbSkip], (TFormRect{101, 185, 85, 32}));
    EXPECT_EQ(contact.Items[mbCancel], (TFormRect{222, 185, 85, 32}));
    EXPECT_TRUE(contact.ContinueForceDisabled); // the e-mail address is required

    const TFormLayout details = LayoutForm(StockForm("details_form"), 2, Measure());
    EXPECT_EQ(details.Width, 315);
    // The question (44 characters, 264 pixels) on one line, asking: no heading, 12 below.
    EXPECT_EQ(details.Items[3], (TFormRect{21, 38, 269, 13}));
    EXPECT_EQ(details.Items[4], (TFormRect{21, 63, 273, 9 * 13 + 2 + 4}));
    EXPECT_EQ(details.Height, 32 + 186 + 33);
    EXPECT_EQ(details.Items[mbContinue], (TFormRect{8, 210, 85, 32}));
    EXPECT_EQ(details.Items[mbSkip], (TFormRect{101, 210, 85, 32}));
    EXPECT_EQ(details.Items[mbCancel], (TFormRect{222, 210, 85, 32}));
    EXPECT_TRUE(details.ContinueForceDisabled); // the details are required

    // The screenshot, 200 x 150, with its border and clickable outline.
    const TFormLayout shot = LayoutForm(StockForm("screenshot_form"), 3, Measure({200, 150}));
    EXPECT_EQ(shot.Width, 315); // the header 216 + 3 x 19 + 36 = 309
    EXPECT_EQ(shot.Items[3], (TFormRect{21, 40, 222 + 13 + 8, 13}));
    EXPECT_EQ(shot.Items[4], (TFormRect{21, 65, 208, 158}));
    EXPECT_EQ(shot.Items[5], (TFormRect{21, 233, 269, 13}));
    EXPECT_EQ(shot.Height, 32 + 246 + 33);
    EXPECT_EQ(shot.Items[mbContinue], (TFormRect{8, 270, 85, 32}));
    EXPECT_EQ(shot.Items[mbCancel], (TFormRect{222, 270, 85, 32}));
    EXPECT_FALSE(shot.ContinueForceDisabled);
    // A large picture is zoomed into the room there is, keeping its proportions.
    const TFormLayout large = LayoutForm(StockForm("screenshot_form"), 3, Measure({800, 600}));
    EXPECT_EQ(large.Items[4], (TFormRect{21, 65, 265 + 8, 198 + 8}));
}

TFormItem Item(TItemKind kind, std::u16string caption = u"x")
{
    TFormItem item;
    item.Kind = kind;
    item.Name = caption;
    item.Caption = caption;
    return item;
}

TEST(AssistantLayout, GapsFollowTheNeighboursKinds)
{
    TFormDefinition form = ReadFormDefinition({}).Form;
    // A heading, an edit, a heading, an edit: 4 below each heading, 8 between the pairs.
    form.Items.push_back(Item(TItemKind::Label, u"Name"));
    form.Items.push_back(Item(TItemKind::Edit));
    form.Items.push_back(Item(TItemKind::Label, u"Mail"));
    form.Items.push_back(Item(TItemKind::Edit));
    form.Items.push_back(Item(TItemKind::Edit));         // 6 after an edit before an edit
    form.Items.push_back(Item(TItemKind::CheckBox));     // 12 otherwise
    form.Items.push_back(Item(TItemKind::CheckBox));     // 8 between check boxes
    form.Items.push_back(Item(TItemKind::Button, u"b")); // 12
    form.Items.push_back(Item(TItemKind::Button, u"c")); // 4 between buttons
    form.Items.back().Spacing = 30;                      // a fixed gap, even after the last item
    const TFormLayout l = LayoutForm(form, 1, Measure());
    auto gap = [&](size_t i) {
        return l.Items[i + 1].Y - l.Items[i].Bottom() + (form.Items[i + 1].Kind == TItemKind::Label ? 2 : 0);
    };
    EXPECT_EQ(gap(3), 4);
    EXPECT_EQ(gap(4), 8);
    EXPECT_EQ(gap(5), 4);
    EXPECT_EQ(gap(6), 6);
    EXPECT_EQ(gap(7), 12);
    EXPECT_EQ(gap(8), 8);
    EXPECT_EQ(gap(9), 12);
    EXPECT_EQ(gap(10), 4);
    EXPECT_EQ(l.Items[11], (TFormRect{21, l.Items[11].Y, 70, 23})); // at least 70 wide
    EXPECT_EQ(l.Height, 32 + l.Items[11].Bottom() + 30 + 33);

    // 45 characters (270 pixels) fit in the form's 315 but wrap in the labels' 269: two
    // lines are no heading, so 12 below, not 4.
    TFormDefinition wrapped = ReadFormDefinition({}).Form;
    wrapped.Items.push_back(Item(TItemKind::Label, std::u16string(45, u'a')));
    wrapped.Items.push_back(Item(TItemKind::Edit));
    const TFormLayout w = LayoutForm(wrapped, 1, Measure());
    ASSERT_EQ(w.Width, 315);
    EXPECT_EQ(w.Items[3].Height, 26);
    EXPECT_EQ(w.Items[4].Y - w.Items[3].Bottom(), 12);
}

TEST(AssistantLayout, PlainButtonsWithoutSkipSitTogetherAtTheRight)
{
    TFormDefinition form = ReadFormDefinition({}).Form;
    form.Items[mbContinue].NoOwnerDraw = true;
    form.Items[mbCancel].NoOwnerDraw = true;
    form.Items[mbSkip].Invisible = true;
    const TFormLayout l = LayoutForm(form, 1, Measure());
    EXPECT_EQ(l.Width, 315);
    EXPECT_EQ(l.Height, 23 + 40 + 33);
    EXPECT_EQ(l.Items[mbCancel], (TFormRect{315 - 75 - 8, l.Height - 23 - 9, 75, 23}));
    EXPECT_EQ(l.Items[mbContinue].X, 315 - 75 - 8 - 8 - 75);
    EXPECT_EQ(l.Items[mbSkip].Width, 0);
    // A long caption widens its button and the form.
    form.Items[mbContinue].Caption = std::u16string(60, u'x');
    EXPECT_EQ(LayoutForm(form, 1, Measure()).Items[mbContinue].Width, 360 + 20);
    EXPECT_EQ(LayoutForm(form, 1, Measure()).Width, 380 - 8 + 75 + 32);
}

} // namespace
} // namespace crash
