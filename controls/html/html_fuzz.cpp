#include "base/utf.h"
#include "controls/html/html_render.h"

#include <cstdlib>

// Any text (as UTF-8) parsed with and without wrapping at a narrow width: every controls
// entry must be an item of the data, and the data must start with a paragraph.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::u16string text = base::Utf8ToUtf16({reinterpret_cast<const char*>(data), size});
    html::TFixedMeasurer measurer;
    html::THTMLRender render(measurer);
    render.OnVariableNeeded = [](html::THTMLRender*, const std::u16string& name, std::u16string& value) {
        value = name + u"!";
    };
    for (bool wrap : {false, true}) {
        render.PrepareText(text, 37, wrap);
        html::THTMLData& d = render.CurData();
        for (const auto* control : d.FControlsArray) {
            bool found = false;
            for (const auto& item : d.FArray)
                found = found || item.get() == control;
            if (!found)
                std::abort();
        }
        if (!d.FArray.empty() && d.FArray.front()->FItemType != html::hitPara)
            std::abort();
        (void)d.AsText();
        (void)d.GenerateHTML();
    }
    return 0;
}
