#include "crash/dialogs/assistant_layout.h"

#include <cstdint>

// Any bytes as a form resource, read and laid out with a simple measure.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const crash::TFormReadResult read = crash::ReadFormDefinition(std::span(data, size));
    crash::TFormMeasure m;
    auto text = [](std::u16string_view s) {
        return crash::TFormSize{static_cast<int32_t>(std::min<size_t>(s.size(), 100000)) * 6, 13};
    };
    m.ButtonCaption = m.PlainButtonCaption = m.Message = m.ItemText = text;
    m.WrappedItemText = [](std::u16string_view s, int32_t width) {
        return crash::TFormSize{width,
                                13 * static_cast<int32_t>(1 + std::min<size_t>(s.size(), 100000) / 40)};
    };
    m.Picture = [](const crash::TFormItem& item) {
        return crash::TFormSize{item.Width / 2, item.Height * 2};
    };
    m.CheckMark = {13, 13};
    (void)crash::LayoutForm(read.Form, static_cast<int32_t>(size % 5), m);
    return 0;
}
