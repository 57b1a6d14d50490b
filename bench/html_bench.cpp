// Benchmark of the HTML captions: parse and lay out (paint on a canvas that only counts, and
// hit-test a point in the middle) captions of 10 KB, 100 KB and 1 MB, with and without AutoWrap at 400
// pixels, with the fixed-metric measurer. Prints milliseconds and the time per KB relative
// to the 10 KB caption's: constant ratios mean linear cost. Never fails on time.

#include "controls/html/html_render.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace {

struct CountingCanvas : html::IHTMLCanvas
{
    size_t Calls = 0;
    html::THTMLColor ResolveColor(html::THTMLColor c) override { return c & 0xFFFFFF; }
    void DrawRun(int, int, const std::u16string&, const html::THTMLFont&, html::THTMLColor,
                 html::THTMLColor) override
    {
        ++Calls;
    }
    void DrawBullet(const html::THTMLRect&, html::THTMLColor) override { ++Calls; }
    void DrawNumber(int, int, const std::u16string&, const html::THTMLFont&, html::THTMLColor) override
    {
        ++Calls;
    }
    void DrawPicture(const html::THTMLPicture&, bool, const html::THTMLRect&, const html::THTMLRect&) override
    {
        ++Calls;
    }
    void DrawRule(int, int, int) override { ++Calls; }
    void DrawCheckBox(bool, bool, bool, bool, const html::THTMLRect&) override { ++Calls; }
    void PlaceControl(html::THTMLControlItem&, const html::THTMLRect&) override { ++Calls; }
};

// A caption of about `bytes` characters of mixed markup.
std::u16string Caption(size_t bytes)
{
    const std::u16string piece =
        u"Download <b>and install</b> the <font color=#004080 size=+1>full version</font> "
        u"of <a href=\"x\">Orvella</a> on your computer &amp; enjoy it.<br>";
    std::u16string text;
    while (text.size() < bytes)
        text += piece;
    return text;
}

double OneRun(size_t bytes, bool wrap)
{
    const std::u16string text = Caption(bytes);
    html::TFixedMeasurer measurer;
    html::THTMLRender render(measurer);
    const auto start = std::chrono::steady_clock::now();
    render.PrepareText(text, 400, wrap);
    CountingCanvas canvas;
    const html::THTMLData& d = render.CurData();
    render.DrawText(canvas, {}, {0, 0, 400, d.FTextSize.Height}, html::clNone);
    render.ItemAt({200, d.FTextSize.Height / 2}, {}, {0, 0, 400, d.FTextSize.Height});
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The best of three runs.
double Milliseconds(size_t bytes, bool wrap)
{
    double best = 1e300;
    for (int i = 0; i < 3; ++i)
        best = std::min(best, OneRun(bytes, wrap));
    return best;
}

} // namespace

int main()
{
    std::printf("%-8s %-9s %10s %14s\n", "caption", "autowrap", "ms", "per-KB ratio");
    for (bool wrap : {false, true}) {
        const double base = Milliseconds(10 * 1024, wrap) / 10;
        for (size_t kb : {10, 100, 1024}) {
            const double ms = Milliseconds(kb * 1024, wrap);
            std::printf("%5zu KB %-9s %10.2f %14.2f\n", kb, wrap ? "on" : "off", ms, ms / kb / base);
        }
    }
    return 0;
}
