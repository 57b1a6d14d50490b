#pragma once
// Colours, fonts, brushes, pens and the canvas over a device context.

#include "base/win_handle.h"
#include "framework/object.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace framework {

// 0x00BBGGRR: a fixed colour; 0xFF000000 + index: the system colour of that index,
// resolved when painting; clNone paints nothing; clDefault is the default-colour value.
using TColor = uint32_t;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor SystemColor(int index)
{
    return 0xFF000000u | static_cast<uint32_t>(index);
}
constexpr TColor clWindowText = SystemColor(COLOR_WINDOWTEXT);
constexpr TColor clBtnFace = SystemColor(COLOR_BTNFACE);
constexpr TColor clWindow = SystemColor(COLOR_WINDOW);
constexpr TColor RGBColor(int r, int g, int b)
{
    return static_cast<uint32_t>(r) | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b) << 16;
}

// The COLORREF to paint with: system colours resolved; clNone and clDefault give black.
COLORREF ColorToRGB(TColor color);

enum TFontStyle : unsigned
{
    fsBold = 1,
    fsItalic = 2,
    fsUnderline = 4,
    fsStrikeOut = 8
};
using TFontStyles = unsigned;

// Shared base of the graphics objects: an OnChange event fired only on real changes.
class TGraphicsObject : public TObject
{
public:
    TNotifyEvent OnChange;

protected:
    void Changed();
};

class TFont : public TGraphicsObject
{
public:
    TFont();
    void Assign(const TFont& source);

    const std::wstring& Name() const noexcept { return FName; }
    void SetName(const std::wstring& name);
    // Negative: character height in pixels; positive: cell height.
    int Height() const noexcept { return FHeight; }
    void SetHeight(int height);
    // Points at 96 dots per inch.
    int Size() const;
    void SetSize(int points);
    TFontStyles Style() const noexcept { return FStyle; }
    void SetStyle(TFontStyles style);
    TColor Color() const noexcept { return FColor; }
    void SetColor(TColor color);
    BYTE Charset() const noexcept { return FCharset; }
    void SetCharset(BYTE charset);

    bool SameAs(const TFont& other) const;
    HFONT Handle() const;

private:
    void Release();

    std::wstring FName = L"Tahoma";
    int FHeight = -11;
    TFontStyles FStyle = 0;
    TColor FColor = clWindowText;
    BYTE FCharset = DEFAULT_CHARSET;
    mutable base::GdiObject FHandle;
};

enum TBrushStyle
{
    bsSolid,
    bsClear
};

class TBrush : public TGraphicsObject
{
public:
    TColor Color() const noexcept { return FColor; }
    void SetColor(TColor color);
    TBrushStyle Style() const noexcept { return FStyle; }
    void SetStyle(TBrushStyle style);
    HBRUSH Handle() const;

private:
    TColor FColor = clWhite;
    TBrushStyle FStyle = bsSolid;
    mutable base::GdiObject FHandle;
};

enum TPenStyle
{
    psSolid,
    psDash,
    psDot,
    psClear
};

class TPen : public TGraphicsObject
{
public:
    TColor Color() const noexcept { return FColor; }
    void SetColor(TColor color);
    int Width() const noexcept { return FWidth; }
    void SetWidth(int width);
    TPenStyle Style() const noexcept { return FStyle; }
    void SetStyle(TPenStyle style);
    HPEN Handle() const;

private:
    TColor FColor = clBlack;
    int FWidth = 1;
    TPenStyle FStyle = psSolid;
    mutable base::GdiObject FHandle;
};

// Drawing on a device context that someone else owns (a paint DC, a memory DC). The
// canvas selects its font, brush and pen for each call and restores the DC's own objects.
class TCanvas : public TObject
{
public:
    explicit TCanvas(HDC dc = nullptr) : FDc(dc) {}
    HDC Handle() const noexcept { return FDc; }
    void SetHandle(HDC dc) noexcept { FDc = dc; }

    TFont Font;
    TBrush Brush;
    TPen Pen;

    void FillRect(const RECT& r);
    void FrameRect(const RECT& r);
    void Rectangle(const RECT& r);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void TextOut(int x, int y, const std::wstring& text);
    // DrawText with the canvas font; the brush style decides whether the text cell is filled.
    int DrawText(const std::wstring& text, RECT& r, UINT format);
    SIZE TextExtent(const std::wstring& text);
    int TextWidth(const std::wstring& text) { return TextExtent(text).cx; }
    int TextHeight(const std::wstring& text) { return TextExtent(text).cy; }

private:
    HDC FDc;
};

} // namespace framework
