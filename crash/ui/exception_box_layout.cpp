#include "crash/ui/exception_box_layout.h"

#include <algorithm>

namespace crash {
namespace {

constexpr int IconMargin = 40;
constexpr int LabelGrowth = 11;
constexpr int LabelGrowthReportShown = 9;
constexpr int ReportGrowth = 491;

} // namespace

TBoxLayout LayoutExceptionBox(const TBoxInput& in)
{
    TBoxLayout out;
    const int bh = in.Simple ? 23 : (in.Plain ? 26 : 22);
    out.ButtonHeight = bh;

    std::array<int, bxButtonCount> w{};
    for (int b = 0; b < bxButtonCount; ++b)
        w[b] = in.Visible[b] ? in.CaptionWidths[b] + 39 : 0;
    if (in.Simple) {
        for (int b : {bxContinue, bxShow})
            if (w[b] && w[b] < 75)
                w[b] = 79;
    }
    const int W = std::max({w[bxContinue], w[bxRestart], w[bxClose]});
    out.DrawWidth = std::max({w[bxSend], w[bxSave], w[bxPrint], w[bxShow], W}) - 4;

    const int R = (w[bxContinue] > 0) + (w[bxRestart] > 0) + (w[bxClose] > 0);
    const bool anyLeft = w[bxSend] || w[bxSave] || w[bxPrint] || w[bxShow];
    out.Stacked = !in.Simple && R > 1 && anyLeft;
    // Row 0 stays empty beside the message unless the right column is stacked into it.
    int rows = R;
    if (R <= 1 || (R == 3 && !out.Stacked))
        rows = 2;

    int B = 0;
    if (in.Simple)
        B = w[bxShow] ? w[bxContinue] + w[bxShow] + 28 : w[bxContinue] + 26;
    else if (out.Stacked)
        B = w[bxSend] + w[bxSave] + w[bxPrint] + w[bxShow] + W + 14;
    else
        B = w[bxSend] + w[bxSave] + w[bxPrint] + w[bxShow] + w[bxContinue] + w[bxRestart] + w[bxClose] + 14;
    int M = out.Stacked ? W + 40 : 26;
    if (in.HasIcon) {
        M += IconMargin;
        out.Icon = {9, 10, 32, 32};
    }

    const TBoxSize text = in.MeasureText ? in.MeasureText(std::max(B, BoxWidthLimit) - M) : TBoxSize{};
    int cw = std::max(text.Width + M, B);
    const int limit = std::min(BoxWidthLimit, in.ScreenWidth - 5 * in.CaptionHeight);
    if (in.ReportShown && !in.Simple)
        cw = std::max(cw, limit);
    out.ClientWidth = cw;

    int y = in.HasIcon && text.Height < 26 ? 31 : text.Height + 5;
    if (R == 3 && out.Stacked)
        y = std::max(y - (bh + 4), 7);
    const auto rowTop = [&](int row) { return y + row * (bh + 4); };

    int height = 0;
    if (in.Simple) {
        const int cont = w[bxContinue];
        const int details = w[bxShow];
        const int x = details ? (cw + 2 - cont - details) / 2 - 3 : (cw + 4 - cont) / 2 - 3;
        out.Buttons[bxContinue] = {x, rowTop(1), cont - 4, bh};
        if (details)
            out.Buttons[bxShow] = {x + cont + 2, rowTop(1), details - 4, bh};
        height = y + 2 * bh + 21;
    } else {
        int x = 6;
        for (int b : {bxSend, bxSave, bxPrint, bxShow}) {
            if (w[b])
                out.Buttons[b] = {x, rowTop(rows - 1), w[b] - 4, bh};
            x += w[b];
        }
        if (out.Stacked) {
            x = cw - 8 - W;
            if (w[bxContinue])
                out.Buttons[bxContinue] = {x, rowTop(0), W - 4, bh};
            if (w[bxRestart])
                out.Buttons[bxRestart] = {x, rowTop(w[bxContinue] ? 1 : 0), W - 4, bh};
            if (w[bxClose])
                out.Buttons[bxClose] = {x, rowTop(rows - 1), W - 4, bh};
        } else {
            x = cw - 8 - (w[bxContinue] + w[bxRestart] + w[bxClose]);
            for (int b : {bxContinue, bxRestart, bxClose}) {
                if (w[b])
                    out.Buttons[b] = {x, rowTop(1), w[b] - 4, bh};
                x += w[b];
            }
        }
        height = rows * (bh + 4) + y + 8;
    }
    out.ContinueDisabled = in.ContinueDisabled && w[bxContinue] && (w[bxRestart] || w[bxClose]);

    if (!in.HasIcon)
        out.Text = {11, 12, text.Width, text.Height};
    else if (text.Height < 26)
        out.Text = {51, 12 + (26 - text.Height) / 2, text.Width, text.Height};
    else
        out.Text = {51, 12, text.Width, text.Height};

    const bool reportShown = in.ReportShown && !in.Simple;
    if (in.DetailsButton || !in.Simple) {
        out.LabelLine = height - 8;
        height += reportShown ? LabelGrowthReportShown : LabelGrowth;
    }
    int tabsTop = 0;
    if (reportShown) {
        tabsTop = height - 4;
        height += ReportGrowth;
    }
    out.ClientHeight = std::min(height, in.ScreenHeight - 5 * in.CaptionHeight);
    if (reportShown) // down to 6 pixels above the bottom, also on a small screen
        out.Tabs = {5, tabsTop, cw - 15, std::max(out.ClientHeight - 6 - tabsTop, 0)};
    return out;
}

std::u16string BreakExceptionMessage(const std::u16string& message)
{
    if (message.size() <= 30)
        return message;
    std::u16string out;
    out.reserve(message.size() + 16);
    for (size_t i = 0; i < message.size(); ++i) {
        if (message[i] == u'.' && i + 1 < message.size() && message[i + 1] == u' ' && i >= 20 &&
            i + 10 <= message.size()) {
            out += u".\r\n";
            ++i; // the blank
        } else {
            out += message[i];
        }
    }
    return out;
}

int CountdownPosition(uint32_t elapsedMs, int width, uint32_t delaySeconds, bool plain)
{
    const int64_t delay = delaySeconds;
    if (delay == 0)
        return 0;
    const int64_t span = plain ? width - 11 : width;
    const int64_t x = (int64_t{elapsedMs} * span + delay * 500) / (delay * 1000);
    return static_cast<int>(std::min<int64_t>(x + (plain ? 5 : 0), int64_t{1} << 30));
}

uint32_t ShadeColour(uint32_t rgb, int amount)
{
    int passing = 0;
    for (int shift : {0, 8, 16})
        passing += static_cast<int>((rgb >> shift) & 0xFF) + amount > 255;
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
        const int c = static_cast<int>((rgb >> shift) & 0xFF);
        const int moved = passing >= 2 ? std::max(c - amount, 0) : std::min(c + amount, 255);
        out |= static_cast<uint32_t>(moved) << shift;
    }
    return out;
}

uint32_t FadeColour(uint32_t from, uint32_t to, int step)
{
    step = std::clamp(step, 0, 8);
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
        const int a = static_cast<int>((from >> shift) & 0xFF);
        const int b = static_cast<int>((to >> shift) & 0xFF);
        out |= static_cast<uint32_t>(a + (b - a) * step / 8) << shift;
    }
    return out;
}

} // namespace crash
