#pragma once
// What the crash dialog makes of one tab's text: a list of rows in columns (the header's
// names and values, the call stacks parsed into address, module, unit, line and function, the
// hex dump, the modules, registers, processes and the disassembly; any other text by its TABs
// or by the columns its padding leaves blank), or, when the text has no such form, the raw
// text. Platform-free: the text comes from the report and may be anything.

#include "crash/ui/report_tabs.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace crash {

// A colour as 0x00BBGGRR (the platform's COLORREF layout); 0 is "none" for a row.
constexpr uint32_t ViewRgb(uint32_t r, uint32_t g, uint32_t b)
{
    return r | (g << 8) | (b << 16);
}

enum class TViewAlign
{
    Left,
    Right
};

struct TViewColumn
{
    std::u16string Caption;
    TViewAlign Align = TViewAlign::Left;
    bool UpperCase = false;

    bool operator==(const TViewColumn&) const = default;
};

struct TViewRow
{
    std::vector<std::u16string> Cells; // one per column (fewer when the rest are empty)
    uint32_t Colour = 0;               // a forced background; 0: the column's own
    bool Title = false;                // a ">>" line that opens a block (drawn bold)
    std::u16string Line;               // the text line the row was made of
};

struct TReportView
{
    std::vector<TViewColumn> Columns; // none: show the raw text
    std::vector<TViewRow> Rows;
    bool Headers = true;    // the columns' captions are shown
    bool FixedFont = false; // the text needs a fixed-pitch font
    bool ThreadView = false;
};

constexpr uint32_t MarkedLineColour = ViewRgb(255, 208, 208);
constexpr uint32_t PlusLineColour = ViewRgb(240, 248, 255);
constexpr uint32_t BangLineColour = ViewRgb(255, 244, 244);
constexpr uint32_t WhiteColour = ViewRgb(255, 255, 255);

// A caption with its conventions: a leading "^" shows the column upper-case, a leading blank
// right-aligns it.
TViewColumn ViewColumn(std::u16string_view caption);

// The view of one tab's text.
TReportView PrepareReportView(const TTabContent& content);

// A row drawn across all columns (a ">>" line).
bool RowIsAcross(const TViewRow& row);

// The cell as drawn: trimmed, upper-case for such a column.
std::u16string CellText(std::u16string_view cell, bool upperCase);

// A text that reads like a file path ("C:\..."), which is shortened in its middle.
bool LooksLikePath(std::u16string_view text);

// The background of a cell: the row's forced colour, else white for odd columns and lists of
// one column, else alternately light blue (columns 0, 4, ...) and light red (2, 6, ...); a
// selected row one shade darker. At 14 bits per pixel or less the light colours have fixed
// substitutes.
uint32_t CellBackground(const TViewRow& row, size_t column, size_t columnCount, bool selected,
                        bool deepColours);
// The frame around a selected row.
uint32_t SelectionFrame(bool deepColours);

} // namespace crash
