#include "controls/html/html_measure.h"

namespace html {

int TFixedMeasurer::PixelSize(int32_t height)
{
    if (height < 0)
        return height < -10000 ? 10000 : -height;
    if (height == 0)
        return 11;
    return height > 10000 ? 8000 : height * 4 / 5;
}

THTMLFontMetrics TFixedMeasurer::Metrics(const THTMLFont& font)
{
    const int p = PixelSize(font.Height);
    return {p + p / 4, p / 4, p, (p + 1) / 2};
}

int TFixedMeasurer::TextWidth(const THTMLFont& font, std::u16string_view text)
{
    const int p = PixelSize(font.Height);
    const int bold = font.Style & fsBold ? 1 : 0;
    int width = 0;
    for (char16_t c : text) {
        if (c == u'm' || c == u'w' || c == u'M' || c == u'W')
            width += p;
        else if (c == u'i' || c == u'l' || c == u'.' || c == u' ')
            width += (p + 3) / 4;
        else
            width += (p + 1) / 2;
        width += bold;
        if (width > 1000000)
            return 1000000;
    }
    return width;
}

} // namespace html
