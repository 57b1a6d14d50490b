#include "framework/label.h"

namespace framework {

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner)
{
    SetParentColor(true);
    SetBounds(0, 0, 65, 17);
}

void TLabel::SetAlignment(TAlignment value)
{
    if (SetIfChanged(FAlignment, value))
        Invalidate();
}

void TLabel::SetLayout(TTextLayout value)
{
    if (SetIfChanged(FLayout, value))
        Invalidate();
}

void TLabel::SetWordWrap(bool value)
{
    if (SetIfChanged(FWordWrap, value)) {
        AdjustSize();
        Invalidate();
    }
}

void TLabel::SetTransparent(bool value)
{
    if (SetIfChanged(FTransparent, value))
        Invalidate();
}

void TLabel::SetAutoSize(bool value)
{
    if (SetIfChanged(FAutoSize, value))
        AdjustSize();
}

void TLabel::CaptionChanged()
{
    AdjustSize();
    Invalidate();
}

void TLabel::FontChanged()
{
    TGraphicControl::FontChanged();
    AdjustSize();
}

UINT TLabel::TextFormat() const
{
    UINT format = DT_NOPREFIX | DT_EXPANDTABS;
    format |= FWordWrap ? DT_WORDBREAK : DT_SINGLELINE;
    if (FAlignment == taCenter)
        format |= DT_CENTER;
    else if (FAlignment == taRightJustify)
        format |= DT_RIGHT;
    return format;
}

void TLabel::AdjustSize()
{
    if (!FAutoSize)
        return;
    base::WindowDc screen(nullptr);
    TCanvas canvas(screen.Get());
    canvas.Font.Assign(Font());
    RECT r{0, 0, FWordWrap ? Width() : 0, 0};
    canvas.DrawText(Caption().empty() ? L" " : Caption(), r, TextFormat() | DT_CALCRECT);
    SetBounds(Left(), Top(), FWordWrap ? Width() : r.right, r.bottom);
}

void TLabel::Paint(TCanvas& canvas)
{
    RECT r = ClientRect();
    if (!FTransparent && Color() != clNone) {
        canvas.Brush.SetColor(Color());
        canvas.FillRect(r);
    }
    canvas.Brush.SetStyle(bsClear);
    canvas.Font.Assign(Font());
    if (!Enabled())
        canvas.Font.SetColor(SystemColor(COLOR_GRAYTEXT));
    if (FLayout != tlTop) {
        RECT measure = r;
        canvas.DrawText(Caption(), measure, TextFormat() | DT_CALCRECT);
        const int height = measure.bottom - measure.top;
        r.top += FLayout == tlCenter ? (r.bottom - r.top - height) / 2 : r.bottom - r.top - height;
    }
    canvas.DrawText(Caption(), r, TextFormat());
}

} // namespace framework
