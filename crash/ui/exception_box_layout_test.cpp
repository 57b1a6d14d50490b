#include "crash/ui/exception_box_layout.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

// Captions measured at 6 pixels a character, a message of `width` x `height` when it fits.
TBoxInput Input(bool simple, std::array<bool, bxButtonCount> visible, TBoxSize text)
{
    TBoxInput in;
    in.Simple = simple;
    in.Visible = visible;
    const int lengths[bxButtonCount] = {15, 15, 16, 15, 20, 19, 17};
    for (int b = 0; b < bxButtonCount; ++b)
        in.CaptionWidths[b] = lengths[b] * 6;
    in.MeasureText = [text](int width) { return TBoxSize{std::min(text.Width, width), text.Height}; };
    return in;
}

TEST(ExceptionBoxLayout, ThisProgramsFullBoxStacksContinueRestartAndCloseBesideTheMessage)
{
    // save, show, continue, restart, close; one line of message and the big icon.
    TBoxInput in = Input(false, {false, true, false, true, true, true, true}, {200, 13});
    in.HasIcon = true;
    const TBoxLayout l = LayoutExceptionBox(in);
    EXPECT_TRUE(l.Stacked);
    EXPECT_EQ(l.ButtonHeight, 22);
    const int W = 20 * 6 + 39; // continue is the widest of the right column
    // B = save + show + W + 14; the message is narrower, so the client is B wide... unless
    // the message and the margin need more: 200 + W + 40 + 40.
    EXPECT_EQ(l.ClientWidth, std::max(200 + W + 80, 90 + 39 + 90 + 39 + W + 14));
    // Row top: 31 (icon, one line), moved up a row for three stacked buttons.
    const int y = 31 - 26;
    EXPECT_EQ(l.Buttons[bxContinue], (TBoxRect{l.ClientWidth - 8 - W, y + 7 - 5, W - 4, 22}));
    EXPECT_EQ(l.Buttons[bxRestart].Y, l.Buttons[bxContinue].Y + 26);
    EXPECT_EQ(l.Buttons[bxClose].Y, l.Buttons[bxContinue].Y + 52);
    EXPECT_EQ(l.Buttons[bxRestart].X, l.Buttons[bxContinue].X);
    // save and show at the bottom left, in the last row, next to each other.
    EXPECT_EQ(l.Buttons[bxSave], (TBoxRect{6, l.Buttons[bxClose].Y, 90 + 39 - 4, 22}));
    EXPECT_EQ(l.Buttons[bxShow].X, 6 + 90 + 39);
    EXPECT_EQ(l.Buttons[bxSend].Width, 0);
    EXPECT_EQ(l.Icon, (TBoxRect{9, 10, 32, 32}));
    EXPECT_EQ(l.Text, (TBoxRect{51, 12 + (26 - 13) / 2, 200, 13}));
    // Three rows, the link label line, no report.
    EXPECT_EQ(l.LabelLine, 3 * 26 + 7 + 8 - 8);
    EXPECT_EQ(l.ClientHeight, 3 * 26 + 7 + 8 + 11);
    EXPECT_EQ(l.Tabs.Width, 0);
    EXPECT_EQ(l.DrawWidth, W - 4);
}

TEST(ExceptionBoxLayout, RowsSideBySideWithoutLeftButtonsAndTheLimitsOfWidthAndHeight)
{
    // continue, restart and close only: one row, side by side, in row 1.
    TBoxInput in = Input(false, {false, false, false, false, true, true, true}, {900, 40});
    in.ScreenWidth = 640;
    in.CaptionHeight = 20;
    const TBoxLayout l = LayoutExceptionBox(in);
    EXPECT_FALSE(l.Stacked);
    const int sum = (20 + 19 + 17) * 6 + 3 * 39;
    // The message is measured within max(B, 664) - 26 and is that wide.
    EXPECT_EQ(l.ClientWidth, 664);
    EXPECT_EQ(l.Buttons[bxContinue].X, 664 - 8 - sum);
    EXPECT_EQ(l.Buttons[bxRestart].X, l.Buttons[bxContinue].X + 20 * 6 + 39);
    EXPECT_EQ(l.Buttons[bxContinue].Y, 45 + 26);
    EXPECT_EQ(l.ClientHeight, 2 * 26 + 45 + 8 + 11);

    // The report shown: the full width limit (screen width minus five captions), tabs below.
    in.ReportShown = true;
    EXPECT_EQ(LayoutExceptionBox(in).ClientWidth, 664); // raised to the limit, never lowered
    in.MeasureText = [](int) { return TBoxSize{100, 13}; };
    const TBoxLayout narrow = LayoutExceptionBox(in);
    EXPECT_EQ(narrow.ClientWidth, 540);
    EXPECT_EQ(narrow.Tabs.X, 5);
    EXPECT_EQ(narrow.Tabs.Width, 540 - 15);
    EXPECT_EQ(narrow.Tabs.Y + narrow.Tabs.Height + 6, narrow.ClientHeight);
    EXPECT_GT(narrow.Tabs.Y, narrow.LabelLine + 5);
    in.ScreenHeight = 300; // a small screen: the tabs still end above the bottom
    const TBoxLayout small = LayoutExceptionBox(in);
    EXPECT_EQ(small.ClientHeight, 300 - 100);
    EXPECT_EQ(small.Tabs.Y + small.Tabs.Height + 6, small.ClientHeight);
}

TEST(ExceptionBoxLayout, SimpleBoxCentresAnOkButtonOfAtLeast79)
{
    TBoxInput in = Input(true, {false, false, false, false, true, false, false}, {300, 26});
    in.CaptionWidths[bxContinue] = 15; // "&OK"
    const TBoxLayout l = LayoutExceptionBox(in);
    EXPECT_EQ(l.ButtonHeight, 23);
    EXPECT_EQ(l.ClientWidth, 300 + 26);
    EXPECT_EQ(l.Buttons[bxContinue], (TBoxRect{(326 + 4 - 79) / 2 - 3, 31 + 27, 75, 23}));
    EXPECT_EQ(l.ClientHeight, 31 + 2 * 23 + 21);
    EXPECT_EQ(l.LabelLine, -1);

    in.Visible[bxShow] = true; // the details button
    in.DetailsButton = true;
    in.CaptionWidths[bxShow] = 40;
    const TBoxLayout d = LayoutExceptionBox(in);
    EXPECT_EQ(d.Buttons[bxContinue].X, (326 + 2 - 79 - 79) / 2 - 3);
    EXPECT_EQ(d.Buttons[bxShow].X, d.Buttons[bxContinue].X + 79 + 2);
    EXPECT_EQ(d.LabelLine, 31 + 2 * 23 + 21 - 8);
}

TEST(ExceptionBoxLayout, ContinueIsDisabledOnlyWhenAnotherWayOutIsOffered)
{
    TBoxInput in = Input(false, {false, true, false, false, true, false, true}, {100, 13});
    in.ContinueDisabled = true;
    EXPECT_TRUE(LayoutExceptionBox(in).ContinueDisabled);
    in.Visible[bxClose] = false;
    EXPECT_FALSE(LayoutExceptionBox(in).ContinueDisabled);
}

TEST(ExceptionBoxLayout, NoButtonsAtAllStillLeaveTheMessageAboveTheLabel)
{
    const TBoxLayout l = LayoutExceptionBox(Input(false, {}, {100, 13}));
    EXPECT_GT(l.LabelLine, l.Text.Y + l.Text.Height);
    EXPECT_GT(l.ClientWidth, 0);
}

TEST(ExceptionBoxMessage, BreaksAfterPeriodsFromPosition20UpTo10BeforeTheEnd)
{
    std::u16string text(60, u'x');
    text[15] = u'.', text[16] = u' ';
    text[40] = u'.', text[41] = u' ';
    std::u16string broken = text;
    broken.replace(40, 2, u".\r\n");
    EXPECT_EQ(BreakExceptionMessage(text), broken);
    // Too near the end, or too short a message.
    std::u16string late(60, u'x');
    late[52] = u'.', late[53] = u' ';
    EXPECT_EQ(BreakExceptionMessage(late), late);
    EXPECT_EQ(BreakExceptionMessage(u"Twenty-two characters. Then"), u"Twenty-two characters. Then");
}

TEST(ExceptionBoxCountdown, TheBarCrossesTheButtonInTheDelay)
{
    EXPECT_EQ(CountdownPosition(0, 160, 60, false), 0);
    EXPECT_EQ(CountdownPosition(30000, 160, 60, false), 80);
    EXPECT_EQ(CountdownPosition(60000, 160, 60, false), 160);
    EXPECT_GT(CountdownPosition(60400, 160, 60, false), CountdownEnd(160, false));
    // Plain buttons: inside the frame.
    EXPECT_EQ(CountdownPosition(0, 160, 60, true), 5);
    EXPECT_EQ(CountdownPosition(60000, 160, 60, true), 154);
    EXPECT_LE(CountdownPosition(60000, 160, 60, true), CountdownEnd(160, true));
    // Hours of waiting do not overflow.
    EXPECT_GT(CountdownPosition(0xFFFFFFFFu, 160, 1, false), 160);
}

TEST(ExceptionBoxColours, ShadeLightensOrDarkensAndFadeSteps)
{
    EXPECT_EQ(ShadeColour(0xD4D0C8, 16), 0xE4E0D8u);
    EXPECT_EQ(ShadeColour(0xF0F0F0, 16), 0xE0E0E0u); // all three would pass 255
    EXPECT_EQ(ShadeColour(0xF8F000, 16), 0xE8E000u); // two would
    EXPECT_EQ(ShadeColour(0xF80000, 16), 0xFF1010u);
    EXPECT_EQ(FadeColour(0x000000, 0xFFFFFF, 0), 0u);
    EXPECT_EQ(FadeColour(0x000000, 0xFFFFFF, 8), 0xFFFFFFu);
    EXPECT_EQ(FadeColour(0x808080, 0x000000, 4), 0x404040u);
}

} // namespace
} // namespace crash
