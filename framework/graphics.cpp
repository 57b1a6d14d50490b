#include "framework/graphics.h"

namespace framework {

COLORREF ColorToRGB(TColor color)
{
    if ((color & 0xFF000000u) == 0xFF000000u)
        return ::GetSysColor(static_cast<int>(color & 0xFF));
    if (color == clNone || color == clDefault)
        return 0;
    return color & 0x00FFFFFFu;
}

void TGraphicsObject::Changed()
{
    if (OnChange)
        OnChange(this);
}

TFont::TFont() = default;

void TFont::Release()
{
    FHandle.Reset();
}

void TFont::Assign(const TFont& source)
{
    if (SameAs(source))
        return;
    FName = source.FName;
    FHeight = source.FHeight;
    FStyle = source.FStyle;
    FColor = source.FColor;
    FCharset = source.FCharset;
    Release();
    Changed();
}

bool TFont::SameAs(const TFont& o) const
{
    return FName == o.FName && FHeight == o.FHeight && FStyle == o.FStyle && FColor == o.FColor &&
           FCharset == o.FCharset;
}

void TFont::SetName(const std::wstring& name)
{
    if (SetIfChanged(FName, name)) {
        Release();
        Changed();
    }
}

void TFont::SetHeight(int height)
{
    if (SetIfChanged(FHeight, height)) {
        Release();
        Changed();
    }
}

int TFont::Size() const
{
    return -::MulDiv(FHeight, 72, 96);
}

void TFont::SetSize(int points)
{
    SetHeight(-::MulDiv(points, 96, 72));
}

void TFont::SetStyle(TFontStyles style)
{
    if (SetIfChanged(FStyle, style)) {
        Release();
        Changed();
    }
}

void TFont::SetColor(TColor color)
{
    // The colour is not part of the font handle.
    if (SetIfChanged(FColor, color))
        Changed();
}

void TFont::SetCharset(BYTE charset)
{
    if (SetIfChanged(FCharset, charset)) {
        Release();
        Changed();
    }
}

HFONT TFont::Handle() const
{
    if (!FHandle) {
        LOGFONTW lf{};
        lf.lfHeight = FHeight;
        lf.lfWeight = (FStyle & fsBold) ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = (FStyle & fsItalic) ? TRUE : FALSE;
        lf.lfUnderline = (FStyle & fsUnderline) ? TRUE : FALSE;
        lf.lfStrikeOut = (FStyle & fsStrikeOut) ? TRUE : FALSE;
        lf.lfCharSet = FCharset;
        lf.lfQuality = DEFAULT_QUALITY;
        lstrcpynW(lf.lfFaceName, FName.c_str(), LF_FACESIZE);
        FHandle.Reset(::CreateFontIndirectW(&lf));
    }
    return static_cast<HFONT>(FHandle.Get());
}

void TBrush::SetColor(TColor color)
{
    if (SetIfChanged(FColor, color)) {
        FHandle.Reset();
        Changed();
    }
}

void TBrush::SetStyle(TBrushStyle style)
{
    if (SetIfChanged(FStyle, style)) {
        FHandle.Reset();
        Changed();
    }
}

HBRUSH TBrush::Handle() const
{
    if (FStyle == bsClear || FColor == clNone)
        return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
    if (!FHandle)
        FHandle.Reset(::CreateSolidBrush(ColorToRGB(FColor)));
    return static_cast<HBRUSH>(FHandle.Get());
}

void TPen::SetColor(TColor color)
{
    if (SetIfChanged(FColor, color)) {
        FHandle.Reset();
        Changed();
    }
}

void TPen::SetWidth(int width)
{
    if (SetIfChanged(FWidth, width)) {
        FHandle.Reset();
        Changed();
    }
}

void TPen::SetStyle(TPenStyle style)
{
    if (SetIfChanged(FStyle, style)) {
        FHandle.Reset();
        Changed();
    }
}

HPEN TPen::Handle() const
{
    if (FStyle == psClear || FColor == clNone)
        return static_cast<HPEN>(::GetStockObject(NULL_PEN));
    if (!FHandle) {
        const int style = FStyle == psDash ? PS_DASH : FStyle == psDot ? PS_DOT : PS_SOLID;
        FHandle.Reset(::CreatePen(style, FWidth, ColorToRGB(FColor)));
    }
    return static_cast<HPEN>(FHandle.Get());
}

void TCanvas::FillRect(const RECT& r)
{
    if (Brush.Style() != bsClear && Brush.Color() != clNone)
        ::FillRect(FDc, &r, Brush.Handle());
}

void TCanvas::FrameRect(const RECT& r)
{
    if (Brush.Style() != bsClear && Brush.Color() != clNone)
        ::FrameRect(FDc, &r, Brush.Handle());
}

void TCanvas::Rectangle(const RECT& r)
{
    base::DcSelection pen(FDc, Pen.Handle());
    base::DcSelection brush(FDc, Brush.Handle());
    ::Rectangle(FDc, r.left, r.top, r.right, r.bottom);
}

void TCanvas::MoveTo(int x, int y)
{
    ::MoveToEx(FDc, x, y, nullptr);
}

void TCanvas::LineTo(int x, int y)
{
    base::DcSelection pen(FDc, Pen.Handle());
    ::LineTo(FDc, x, y);
}

void TCanvas::TextOut(int x, int y, const std::wstring& text)
{
    RECT r{x, y, x, y};
    DrawText(text, r, DT_NOCLIP | DT_SINGLELINE | DT_NOPREFIX);
}

int TCanvas::DrawText(const std::wstring& text, RECT& r, UINT format)
{
    base::DcSelection font(FDc, Font.Handle());
    const bool opaque = Brush.Style() != bsClear && Brush.Color() != clNone;
    const int oldMode = ::SetBkMode(FDc, opaque ? OPAQUE : TRANSPARENT);
    const COLORREF oldBk = ::SetBkColor(FDc, ColorToRGB(Brush.Color()));
    const COLORREF oldText = ::SetTextColor(FDc, ColorToRGB(Font.Color()));
    const int height = ::DrawTextW(FDc, text.c_str(), static_cast<int>(text.size()), &r, format);
    ::SetTextColor(FDc, oldText);
    ::SetBkColor(FDc, oldBk);
    ::SetBkMode(FDc, oldMode);
    return height;
}

SIZE TCanvas::TextExtent(const std::wstring& text)
{
    base::DcSelection font(FDc, Font.Handle());
    SIZE size{};
    ::GetTextExtentPoint32W(FDc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

} // namespace framework
