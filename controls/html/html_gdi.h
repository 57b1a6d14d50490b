#pragma once
// The GDI side of the HTML captions: fonts, the measurer the program parses with, and the
// canvas it paints through (double-buffered by default). Pictures the host supplies for
// "img" tags are bitmaps (PictureOfBitmap).

#include "base/win_handle.h"
#include "controls/html/html_render.h"

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <tuple>

namespace html {

// GDI fonts made once per distinct THTMLFont.
class THTMLFontCache
{
public:
    HFONT Get(const THTMLFont& font);

private:
    std::map<std::tuple<std::u16string, int32_t, unsigned, uint8_t>, base::GdiObject> FFonts;
};

// Measures on a memory DC holding a 1 x 1 bitmap compatible with the screen.
class TGdiMeasurer : public IHTMLMeasurer
{
public:
    TGdiMeasurer();
    THTMLFontMetrics Metrics(const THTMLFont& font) override;
    int TextWidth(const THTMLFont& font, std::u16string_view text) override;
    int ScreenDpi() override { return FDpi; }
    THTMLFontCache& Fonts() noexcept { return FFonts; }

private:
    THTMLFontCache FFonts;
    base::MemoryDc FDc;
    base::GdiObject FBitmap;
    std::unique_ptr<base::DcSelection> FSelection;
    int FDpi = 100;
};

// A bitmap as the host's picture object, the kind the GDI canvas paints.
struct TGdiImage final : THTMLImage
{
    explicit TGdiImage(std::shared_ptr<const base::GdiObject> bitmap) : Bitmap(std::move(bitmap)) {}
    std::shared_ptr<const base::GdiObject> Bitmap;
};

// A bitmap as an "img" picture; the picture shares the bitmap.
THTMLPicture PictureOfBitmap(std::shared_ptr<const base::GdiObject> bitmap);

// Paints into rectangle R of `target`. Double-buffered: into a bitmap of (R width + 1) x
// (R height + 1) that starts as a copy of the target there and is copied back when the
// canvas ends; otherwise straight onto the target. Text is placed by its baseline.
class TGdiCanvas : public IHTMLCanvas
{
public:
    TGdiCanvas(HDC target, const THTMLRect& R, bool doubleBuffered, THTMLFontCache& fonts);
    ~TGdiCanvas() override;
    TGdiCanvas(const TGdiCanvas&) = delete;
    TGdiCanvas& operator=(const TGdiCanvas&) = delete;

    // Places an embedded control's window at `box` in the target's coordinates.
    std::function<void(THTMLControlItem& item, const THTMLRect& box)> OnPlaceControl;

    THTMLColor ResolveColor(THTMLColor color) override;
    void DrawRun(int x, int baseline, const std::u16string& text, const THTMLFont& font, THTMLColor color,
                 THTMLColor background) override;
    void DrawBullet(const THTMLRect& box, THTMLColor color) override;
    void DrawNumber(int x, int baseline, const std::u16string& text, const THTMLFont& font,
                    THTMLColor color) override;
    void DrawPicture(const THTMLPicture& picture, bool transparent, const THTMLRect& cut,
                     const THTMLRect& box) override;
    void DrawRule(int left, int right, int top) override;
    void DrawCheckBox(bool radio, bool checked, bool hot, bool focused, const THTMLRect& box) override;
    void PlaceControl(THTMLControlItem& item, const THTMLRect& box) override;

private:
    RECT Rect(const THTMLRect& r) const;
    void SelectFont(const THTMLFont& font);

    HDC FTarget;
    THTMLRect FR;
    THTMLFontCache& FFonts;
    base::MemoryDc FMemory;
    base::GdiObject FBuffer;
    std::unique_ptr<base::DcSelection> FBufferSelection;
    HDC FDc;
    int FOffsetX = 0, FOffsetY = 0;
    UINT FSavedAlign = 0;
    HGDIOBJ FSavedFont = nullptr;
    COLORREF FBrushColor = RGB(255, 255, 255);
};

} // namespace html
