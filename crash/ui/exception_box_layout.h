#pragma once
// The crash dialog's geometry and its small rules, platform-free: where every control of the
// full and the simple box goes for the captions and message it shows, how a long exception
// message is broken into lines, and where the countdown bar stands. The window code measures
// texts with its font and places the controls where this says.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace crash {

// The dialog's buttons; their numbers are also the indices of their images.
enum TBoxButton : int
{
    bxSend,
    bxSave,
    bxPrint,
    bxShow,
    bxContinue,
    bxRestart,
    bxClose,
    bxButtonCount
};
// Image indices beyond the buttons'.
constexpr int ContinueDisabledImage = 7;
constexpr int BigIconImage = 8;

struct TBoxRect
{
    int X = 0, Y = 0, Width = 0, Height = 0;
    bool operator==(const TBoxRect&) const = default;
};

struct TBoxSize
{
    int Width = 0, Height = 0;
};

struct TBoxInput
{
    bool Simple = false;           // the simple box (the exception's message and OK)
    bool DetailsButton = false;    // the simple box's details button
    bool Plain = false;            // plain push buttons (UglyBtns)
    bool ReportShown = false;      // full box with the report in tabs (AutoShowBugRep)
    bool HasIcon = false;          // the big icon image exists
    bool ContinueDisabled = false; // the report cannot continue
    std::array<bool, bxButtonCount> Visible{};
    std::array<int, bxButtonCount> CaptionWidths{}; // text widths of the captions
    int ScreenWidth = 1024, ScreenHeight = 768, CaptionHeight = 18;
    // The message's size when word-wrapped within `width`.
    std::function<TBoxSize(int width)> MeasureText;
};

struct TBoxLayout
{
    int ButtonHeight = 0;
    // Width 0: the button is not shown.
    std::array<TBoxRect, bxButtonCount> Buttons{};
    int DrawWidth = 0;    // width of the bitmap buttons are drawn in
    bool Stacked = false; // continue, restart and close in a column of their own
    bool ContinueDisabled = false;
    TBoxRect Icon; // width 0: no icon
    TBoxRect Text;
    int LabelLine = -1; // top of the link label line; -1: none
    TBoxRect Tabs;      // width 0: the report is not shown
    int ClientWidth = 0, ClientHeight = 0;
};

// The width the message is laid out in at most, and the least client width.
constexpr int BoxWidthLimit = 664;

TBoxLayout LayoutExceptionBox(const TBoxInput& input);

// An exception message of more than 30 characters is broken after every ". " whose period
// stands at position 20 or later (0-based) and at least 10 characters before the end.
std::u16string BreakExceptionMessage(const std::u16string& message);

// The countdown bar's position in a button `width` wide after `elapsedMs` of a countdown of
// `delaySeconds` (not 0), for owner-drawn or plain buttons; past `CountdownEnd` the button
// presses itself.
int CountdownPosition(uint32_t elapsedMs, int width, uint32_t delaySeconds, bool plain);
inline int CountdownEnd(int width, bool plain)
{
    return plain ? width - 6 : width;
}

// Colours as 0x00RRGGBB.
// The button-face colour moved by `amount` per channel: lightened (each channel at most 255),
// or darkened when two or more channels would pass 255.
uint32_t ShadeColour(uint32_t rgb, int amount);
// `step` eighths of the way from `from` to `to`.
uint32_t FadeColour(uint32_t from, uint32_t to, int step);

} // namespace crash
