#include "crash/ui/print_layout.h"

namespace crash {
namespace {

// (dots × tenths of centimetres + half the millimetres) ÷ millimetres: the dots of that length.
int Dots(int resolution, int tenths, int millimetres)
{
    return millimetres > 0 ? (resolution * tenths + millimetres / 2) / millimetres : 0;
}

} // namespace

TPrintMargins PrintMargins(const TPrinterCaps& c)
{
    TPrintMargins m;
    m.Top = Dots(c.VertRes, 10, c.VertSize) - c.OffsetY;
    m.Bottom = c.VertRes - 2 * m.Top;
    m.Left = Dots(c.HorzRes, 20, c.HorzSize) - c.OffsetX;
    m.Right = Dots(c.HorzRes, 10, c.HorzSize) - c.OffsetX;
    m.Width = c.HorzRes - m.Left - m.Right;
    return m;
}

std::vector<TPrintedLine> LayOutPrint(const std::u16string& text, const TPrintMargins& margins,
                                      const std::function<int(const std::u16string& line)>& height)
{
    std::vector<TPrintedLine> lines;
    int page = 0, y = margins.Top;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(u"\r\n", start);
        std::u16string line(text, start, end == std::u16string::npos ? std::u16string::npos : end - start);
        if (line.empty())
            line.push_back(u' '); // keeps its height
        const int h = height(line);
        if (y + h > margins.Bottom && y > margins.Top) {
            ++page;
            y = margins.Top;
        }
        lines.push_back({page, margins.Left, y, line});
        y += h;
        if (end == std::u16string::npos)
            break;
        start = end + 2;
    }
    return lines;
}

} // namespace crash
