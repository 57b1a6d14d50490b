#include "base/utf.h"
#include "controls/html/html_render.h"

#include <cstdlib>
#include <unordered_set>

namespace {

// Paints nothing, but looks at everything it is given.
struct NullCanvas : html::IHTMLCanvas
{
    size_t Seen = 0;
    html::THTMLColor ResolveColor(html::THTMLColor c) override { return c & 0xFFFFFF; }
    void DrawRun(int, int, const std::u16string& text, const html::THTMLFont&, html::THTMLColor,
                 html::THTMLColor) override
    {
        Seen += text.size();
    }
    void DrawBullet(const html::THTMLRect&, html::THTMLColor) override { ++Seen; }
    void DrawNumber(int, int, const std::u16string& text, const html::THTMLFont&, html::THTMLColor) override
    {
        Seen += text.size();
    }
    void DrawPicture(const html::THTMLPicture&, bool, const html::THTMLRect&, const html::THTMLRect&) override
    {
        ++Seen;
    }
    void DrawRule(int, int, int) override { ++Seen; }
    void DrawCheckBox(bool, bool, bool, bool, const html::THTMLRect&) override { ++Seen; }
    void PlaceControl(html::THTMLControlItem&, const html::THTMLRect&) override { ++Seen; }
};

} // namespace

// Any text (as UTF-8) parsed with or without wrapping at a narrow width (the input's last
// byte chooses: one parse per input keeps the target fast): every controls entry must be an
// item of the data, and the data must start with a paragraph.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::u16string text = base::Utf8ToUtf16({reinterpret_cast<const char*>(data), size});
    html::TFixedMeasurer measurer;
    html::THTMLRender render(measurer);
    render.OnVariableNeeded = [](html::THTMLRender*, const std::u16string& name, std::u16string& value) {
        value = name + u"!";
    };
    const bool wrap = size > 0 && (data[size - 1] & 1);
    render.PrepareText(text, 37, wrap);
    html::THTMLData& d = render.CurData();
    std::unordered_set<const html::THTMLItem*> items;
    for (const auto& item : d.FArray)
        items.insert(item.get());
    for (const auto* control : d.FControlsArray)
        if (!items.count(control))
            std::abort();
    if (!d.FArray.empty() && d.FArray.front()->FItemType != html::hitPara)
        std::abort();
    (void)d.AsText();
    (void)d.GenerateHTML();
    // Layout on what was parsed: paint, hit tests across the text, clicks and keys.
    NullCanvas canvas;
    const html::THTMLRect r{0, 0, 120, 200};
    render.DrawTextEx(canvas, {}, r, wrap, 0xFF000011, html::clNone, 0, 0, wrap ? 0 : html::clNone);
    for (int i = 0; i < 16; ++i)
        render.ClickTransfer(i * 8, i * (d.FTextSize.Height + 16) / 16, r);
    render.KeyDownTransfer(html::VkTab, html::ssShift);
    render.KeyDownTransfer(html::VkSpace, 0);
    return 0;
}
