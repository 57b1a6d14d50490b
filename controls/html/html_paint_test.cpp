#include "controls/html/html_render.h"

#include <gtest/gtest.h>

#include <vector>

namespace html {
namespace {

// Records what the renderer paints.
struct Recorder : IHTMLCanvas
{
    struct Run
    {
        int X, Baseline;
        std::u16string Text;
        THTMLColor Color, Background;
        THTMLFontStyles Style;
    };
    struct Box
    {
        bool Radio, Checked, Hot, Focused;
        THTMLRect Rect;
    };
    struct Rule
    {
        int Left, Right, Top;
    };
    std::vector<Run> Runs;
    std::vector<THTMLRect> Bullets, Pictures, Placed;
    std::vector<Box> Boxes;
    std::vector<Rule> Rules;
    std::vector<std::pair<int, std::u16string>> Numbers;
    std::vector<THTMLColor> BulletColors;

    THTMLColor ResolveColor(THTMLColor c) override
    {
        if ((c & 0xFF000000u) == 0xFF000000u)
            return (c & 0xFF) == 17 ? 0x808080 : 0; // grey text, everything else black
        return c;
    }
    void DrawRun(int x, int baseline, const std::u16string& text, const THTMLFont& font, THTMLColor color,
                 THTMLColor background) override
    {
        Runs.push_back({x, baseline, text, color, background, font.Style});
    }
    void DrawBullet(const THTMLRect& box, THTMLColor color) override
    {
        Bullets.push_back(box);
        BulletColors.push_back(color);
    }
    void DrawNumber(int x, int, const std::u16string& text, const THTMLFont&, THTMLColor) override
    {
        Numbers.emplace_back(x, text);
    }
    void DrawPicture(const THTMLPicture&, bool, const THTMLRect&, const THTMLRect& box) override
    {
        Pictures.push_back(box);
    }
    void DrawRule(int left, int right, int top) override { Rules.push_back({left, right, top}); }
    void DrawCheckBox(bool radio, bool checked, bool hot, bool focused, const THTMLRect& box) override
    {
        Boxes.push_back({radio, checked, hot, focused, box});
    }
    void PlaceControl(THTMLControlItem&, const THTMLRect& box) override { Placed.push_back(box); }
};

struct Fixture : ::testing::Test
{
    Fixture()
    {
        render.OnImageNeededEx = [](THTMLRender*, const std::u16string&, THTMLPicture& p) {
            p.Width = 100;
            p.Height = 5;
        };
    }
    void Parse(const std::u16string& text, int width = 400, bool wrap = false)
    {
        render.PrepareText(text, width, wrap);
    }
    void Paint(const THTMLRect& r)
    {
        canvas = Recorder();
        render.DrawText(canvas, {}, r, clNone);
    }
    THTMLItem* At(int x, int y, const THTMLRect& r) { return render.ItemAt({x, y}, {}, r); }

    TFixedMeasurer measurer;
    THTMLRender render{measurer};
    Recorder canvas;
};

using HTMLLayout = Fixture;

TEST_F(HTMLLayout, NothingToPaint)
{
    Parse(u"");
    Paint({0, 0, 300, 100});
    EXPECT_TRUE(canvas.Runs.empty());
    EXPECT_EQ(At(5, 5, {0, 0, 300, 100}), nullptr);
}

TEST_F(HTMLLayout, CentredAndRightAlignedLinesAndTheHitTestsOnePixel)
{
    Parse(u"<p align=center><img src=a>");
    ASSERT_EQ(render.CurData().FArray[0]->FWidth, 100);
    const THTMLRect r{0, 0, 300, 40};
    Paint(r);
    ASSERT_EQ(canvas.Pictures.size(), 1u);
    EXPECT_EQ(canvas.Pictures[0].Left, 100);
    EXPECT_EQ(At(99, 3, r), render.CurData().FArray[1].get());
    EXPECT_EQ(At(98, 3, r), nullptr);
    EXPECT_EQ(At(199, 3, r), render.CurData().FArray[1].get()); // the right edge still hits
    EXPECT_EQ(At(200, 3, r), nullptr);

    Parse(u"<p align=right><img src=a>");
    Paint(r);
    EXPECT_EQ(canvas.Pictures[0].Left, 200);
    EXPECT_EQ(At(199, 3, r), render.CurData().FArray[1].get());
    // A line wider than the rectangle starts at its left edge.
    Parse(u"<p align=center><img src=a width=500>");
    Paint(r);
    EXPECT_EQ(canvas.Pictures[0].Left, 0);
}

TEST_F(HTMLLayout, RunsSitOnTheLineBaselineAndTheGapAboveAShortRunIsNoHit)
{
    Parse(u"<font size=22>Big</font>small");
    const THTMLRect r{0, 0, 300, 100};
    Paint(r);
    ASSERT_EQ(canvas.Runs.size(), 2u);
    const auto& data = render.CurData();
    const int lineHeight = data.FArray[0]->FHeight;
    const int descent = static_cast<const THTMLBreakItem&>(*data.FArray[0]).LineDescent();
    EXPECT_EQ(canvas.Runs[0].Baseline, lineHeight - descent);
    EXPECT_EQ(canvas.Runs[1].Baseline, lineHeight - descent);
    EXPECT_EQ(canvas.Runs[1].X, data.FArray[1]->FWidth);
    const THTMLItem* small = data.FArray[2].get();
    const int smallLeft = data.FArray[1]->FWidth;
    EXPECT_EQ(At(smallLeft + 2, lineHeight - 2, r), small);
    EXPECT_EQ(At(smallLeft + 2, lineHeight - small->FHeight - 1, r), nullptr);
    EXPECT_EQ(At(smallLeft + 2, lineHeight - small->FHeight, r), small);
    // Below the last line: nothing.
    EXPECT_EQ(At(2, lineHeight, r), nullptr);
}

TEST_F(HTMLLayout, BulletsSitSixPixelsLeftOfTheTextAndNumbersMoveThePen)
{
    Parse(u"<ul><li>a</ul><ol><li>b</ol>");
    Paint({0, 0, 300, 100});
    ASSERT_EQ(canvas.Bullets.size(), 1u);
    const auto& items = render.CurData().FArray;
    const auto run =
        std::find_if(canvas.Runs.begin(), canvas.Runs.end(), [](const auto& r) { return r.Text == u"a"; });
    ASSERT_NE(run, canvas.Runs.end());
    EXPECT_EQ(canvas.Bullets[0].Right, run->X - 6);
    const int w = measurer.Metrics(items[1]->Font()).AveCharWidth;
    EXPECT_EQ(canvas.Bullets[0].Width(), w);
    ASSERT_EQ(canvas.Numbers.size(), 1u);
    EXPECT_EQ(canvas.Numbers[0].second, u"1.");
    const auto b =
        std::find_if(canvas.Runs.begin(), canvas.Runs.end(), [](const auto& r) { return r.Text == u"b"; });
    ASSERT_NE(b, canvas.Runs.end());
    EXPECT_EQ(b->X, canvas.Numbers[0].first + measurer.TextWidth(items[1]->Font(), u"1."));
}

TEST_F(HTMLLayout, BulletsTakeTheTextColourOrTheCallersUnlessAFontGaveOne)
{
    Parse(u"<ul><li>a</ul><font color=#00FF00><ul><li>b</ul></font>");
    Paint({0, 0, 300, 100});
    ASSERT_EQ(canvas.BulletColors.size(), 2u);
    EXPECT_EQ(canvas.BulletColors[0], clWindowText); // the default text colour, for the canvas to resolve
    EXPECT_EQ(canvas.BulletColors[1], 0x00FF00u);
    canvas = Recorder();
    render.DrawTextEx(canvas, {}, {0, 0, 300, 100}, true, 0x123456, clNone, clNone, clNone, clNone);
    ASSERT_EQ(canvas.BulletColors.size(), 2u);
    EXPECT_EQ(canvas.BulletColors[0], 0x123456u);
    EXPECT_EQ(canvas.BulletColors[1], 0x00FF00u);
}

TEST_F(HTMLLayout, RulesRunToTheRightEdgeAndInputsShowTheirFourStates)
{
    Parse(u"x<hr>y");
    const THTMLRect r{10, 0, 310, 100};
    Paint(r);
    ASSERT_EQ(canvas.Rules.size(), 1u);
    const auto& items = render.CurData().FArray;
    int top = 0, lineHeight = 0;
    for (const auto& item : items) {
        if (item->FItemType == hitHR)
            break;
        if (item->IsBreak()) {
            top += lineHeight;
            lineHeight = item->FHeight;
        }
    }
    EXPECT_EQ(canvas.Rules[0].Left, 0);
    EXPECT_EQ(canvas.Rules[0].Right, 301); // the rectangle's width + 1, measured from its left
    EXPECT_EQ(canvas.Rules[0].Top, top + lineHeight / 2);

    Parse(u"<input type=checkbox checked=1><input type=radio><control vclclass=TEdit width=40>");
    const THTMLRect wide{0, 0, 400, 40};
    Paint(wide);
    ASSERT_EQ(canvas.Boxes.size(), 2u);
    EXPECT_FALSE(canvas.Boxes[0].Radio);
    EXPECT_TRUE(canvas.Boxes[0].Checked);
    EXPECT_TRUE(canvas.Boxes[1].Radio);
    EXPECT_FALSE(canvas.Boxes[1].Checked);
    EXPECT_EQ(canvas.Boxes[0].Rect.Left, 0);
    EXPECT_EQ(canvas.Boxes[1].Rect.Left, 17);
    EXPECT_EQ(canvas.Boxes[0].Rect.Width(), 17);
    EXPECT_EQ(canvas.Boxes[0].Rect.Height(), 17);
    ASSERT_EQ(canvas.Placed.size(), 1u);
    EXPECT_EQ(canvas.Placed[0].Left, 34);
    EXPECT_EQ(canvas.Placed[0].Width(), 40);
    // The radio button under the mouse is hot; the clicked check box is focused (selected).
    render.MouseMoveTransfer(0, 17 + 8, 8, wide);
    render.ClickTransfer(8, 8, wide);
    Paint(wide);
    EXPECT_FALSE(canvas.Boxes[0].Hot);
    EXPECT_TRUE(canvas.Boxes[0].Focused);
    EXPECT_FALSE(canvas.Boxes[0].Checked); // the click toggled it
    EXPECT_TRUE(canvas.Boxes[1].Hot);
    EXPECT_FALSE(canvas.Boxes[1].Focused);
}

TEST_F(HTMLLayout, PaintingStopsBelowTheRectangle)
{
    Parse(u"1<br>2<br>3<br>4<br>5");
    Paint({0, 0, 300, 20}); // lines are 13 high: lines at 0, 13 and 26 are painted
    EXPECT_EQ(canvas.Runs.size(), 2u);
}

TEST_F(HTMLLayout, TheDisabledLookLightensEveryTextColourHalfway)
{
    Parse(u"plain <font color=#800000>coloured</font> <a href=x>link</a>");
    canvas = Recorder();
    render.DrawTextEx(canvas, {}, {0, 0, 400, 40}, true, 0xFF000011, clNone, clNone, clNone, 0x000000);
    ASSERT_GE(canvas.Runs.size(), 4u);
    EXPECT_EQ(canvas.Runs[0].Color, 0xC0C0C0u); // grey text 0x808080 halfway to white
    EXPECT_EQ(canvas.Runs[1].Color, 0x8080C0u); // RGB(128, 0, 0): its own colour lightened
    EXPECT_EQ(canvas.Runs[3].Color, 0xFF8080u); // the link colour, blue, lightened
    EXPECT_EQ(canvas.Runs[3].Style, unsigned(fsUnderline));
    EXPECT_EQ(canvas.Runs[0].Background, clNone);
    // Over a light colour the text darkens.
    canvas = Recorder();
    render.DrawTextEx(canvas, {}, {0, 0, 400, 40}, false, clNone, clNone, clNone, clNone, 0xFFFFFF);
    EXPECT_EQ(canvas.Runs[1].Color, 0x000040u); // 128 - round(127 * 0.5) = 64 in the red channel
}

TEST_F(HTMLLayout, ClicksChecksRadioGroupsAndLinks)
{
    Parse(u"<input type=radio name=g checked=1><input type=radio name=g><input type=checkbox><a "
          u"href=u>link</a>");
    const THTMLRect r{0, 0, 400, 40};
    Paint(r);
    auto& controls = render.CurData().FControlsArray;
    ASSERT_EQ(controls.size(), 4u);
    auto* first = static_cast<THTMLInputItem*>(controls[0]);
    auto* second = static_cast<THTMLInputItem*>(controls[1]);
    auto* box = static_cast<THTMLInputItem*>(controls[2]);
    int changes = 0, checks = 0;
    render.OnChange = [&](THTMLRender*) { ++changes; };
    render.OnInputItemChecked = [&](THTMLRender*, THTMLInputItem*) { ++checks; };

    render.ClickTransfer(17 + 8, 8, r); // the second radio button
    EXPECT_TRUE(second->FChecked);
    EXPECT_FALSE(first->FChecked);
    EXPECT_EQ(render.CurData().FSelectedItem, second);
    render.ClickTransfer(17 + 8, 8, r); // clicking a checked one unchecks it
    EXPECT_FALSE(second->FChecked);
    render.ClickTransfer(34 + 8, 8, r);
    EXPECT_TRUE(box->FChecked);
    EXPECT_EQ(checks, 3);
    EXPECT_EQ(changes, 6);

    // A link is selected only with FLinkSelect.
    std::u16string href;
    EXPECT_TRUE(render.IsCursorOverLink({51 + 5, 8}, {}, href, r));
    EXPECT_EQ(href, u"u");
    render.ClickTransfer(51 + 5, 8, r);
    EXPECT_EQ(render.CurData().FSelectedItem, nullptr);
    render.FLinkSelect = true;
    render.ClickTransfer(51 + 5, 8, r);
    EXPECT_EQ(render.CurData().FSelectedItem, controls[3]);

    // The mouse over a check box makes it the active (hot) item.
    render.MouseMoveTransfer(0, 34 + 8, 8, r);
    EXPECT_EQ(render.CurData().FActiveItem, box);
    render.MouseMoveTransfer(0, 300, 8, r);
    EXPECT_EQ(render.CurData().FActiveItem, nullptr);
}

TEST_F(HTMLLayout, TabAndShiftTabWrapAroundTheControls)
{
    Parse(u"<input type=checkbox><a href=x>l</a><input type=radio>");
    auto& d = render.CurData();
    ASSERT_EQ(d.FControlsArray.size(), 3u);
    render.KeyDownTransfer(VkTab, ssShift);
    EXPECT_EQ(d.FSelectedItem, d.FControlsArray[2]);
    render.KeyDownTransfer(VkTab, ssShift);
    EXPECT_EQ(d.FSelectedItem, d.FControlsArray[1]);
    render.KeyDownTransfer(VkTab, 0);
    render.KeyDownTransfer(VkTab, 0);
    EXPECT_EQ(d.FSelectedItem, d.FControlsArray[0]);
    render.KeyDownTransfer(VkSpace, 0);
    EXPECT_TRUE(static_cast<THTMLInputItem*>(d.FControlsArray[0])->FChecked);
    render.KeyDownTransfer(VkSpace, 0);
    EXPECT_FALSE(static_cast<THTMLInputItem*>(d.FControlsArray[0])->FChecked);
    render.KeyDownTransfer(VkTab, ssShift); // from the first: the last
    EXPECT_EQ(d.FSelectedItem, d.FControlsArray[2]);
    render.KeyDownTransfer(VkSpace, 0);
    render.KeyDownTransfer(VkSpace, 0); // a radio button stays checked
    EXPECT_TRUE(static_cast<THTMLInputItem*>(d.FControlsArray[2])->FChecked);
}

} // namespace
} // namespace html
