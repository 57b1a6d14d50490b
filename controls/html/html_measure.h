#pragma once
// Measuring for the HTML captions: the font of an item, the metrics of a font and the width
// of a text in it. The program measures with GDI (gdi_measurer.h); tests and the host build
// use the fixed-metric measurer below, so that parse and layout results are the same on
// every machine.

#include <cstdint>
#include <string>
#include <string_view>

namespace html {

enum THTMLFontStyle : unsigned
{
    fsBold = 1,
    fsItalic = 2,
    fsUnderline = 4,
    fsStrikeOut = 8
};
using THTMLFontStyles = unsigned;

struct THTMLFont
{
    std::u16string Face;
    int32_t Height = 0; // negative: character height in pixels; positive: cell height
    THTMLFontStyles Style = 0;
    uint8_t Charset = 0;
    friend bool operator==(const THTMLFont&, const THTMLFont&) = default;
};

struct THTMLFontMetrics
{
    int Height = 0; // ascent + descent
    int Descent = 0;
    int MaxCharWidth = 0;
    int AveCharWidth = 0;
};

class IHTMLMeasurer
{
public:
    virtual ~IHTMLMeasurer() = default;
    virtual THTMLFontMetrics Metrics(const THTMLFont& font) = 0;
    // The width of `text` drawn as one line, without prefix processing.
    virtual int TextWidth(const THTMLFont& font, std::u16string_view text) = 0;
    // The screen's vertical pixels per logical inch.
    virtual int ScreenDpi() = 0;
};

// Deterministic metrics: a font of pixel size p (the character height; a cell height h
// counts as 4/5 h, 0 as 11) has height p + p/4, descent p/4, average character width
// (p + 1) / 2, widest character p; "m", "w", "M" and "W" are p wide, "i", "l", "." and
// " " (p + 3) / 4, every other character (p + 1) / 2; bold adds 1 per character. 96 DPI.
class TFixedMeasurer : public IHTMLMeasurer
{
public:
    THTMLFontMetrics Metrics(const THTMLFont& font) override;
    int TextWidth(const THTMLFont& font, std::u16string_view text) override;
    int ScreenDpi() override { return 96; }

    static int PixelSize(int32_t height);
};

} // namespace html
