#pragma once
// Where the lines of a printed report go: margins from the printer's resolution and paper
// size (1 cm at the top and the right, 2 cm at the left, the unprintable offsets taken off),
// the text split at its line breaks, each line word-wrapped into the text width and moved to
// the next page when it would pass the bottom limit. An empty line keeps its height.
// Platform-free: the height of a wrapped line comes from the caller's measure.

#include <functional>
#include <string>
#include <vector>

namespace crash {

struct TPrinterCaps
{
    int HorzRes = 0, VertRes = 0;   // dots
    int HorzSize = 0, VertSize = 0; // millimetres
    int OffsetX = 0, OffsetY = 0;   // unprintable offsets, dots
};

struct TPrintMargins
{
    int Top = 0, Bottom = 0, Left = 0, Right = 0, Width = 0; // Bottom: the lowest y a line may reach
};

TPrintMargins PrintMargins(const TPrinterCaps& caps);

struct TPrintedLine
{
    int Page = 0; // from 0
    int X = 0, Y = 0;
    std::u16string Text;
};

// `height` gives the height of a line word-wrapped into the text width.
std::vector<TPrintedLine> LayOutPrint(const std::u16string& text, const TPrintMargins& margins,
                                      const std::function<int(const std::u16string& line)>& height);

} // namespace crash
