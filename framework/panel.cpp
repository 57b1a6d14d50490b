#include "framework/panel.h"

namespace framework {
namespace {

void Bevel(HDC dc, RECT& r, TBevelCut cut, int width)
{
    if (cut == bvNone)
        return;
    const COLORREF light = ::GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF dark = ::GetSysColor(COLOR_BTNSHADOW);
    const COLORREF topLeft = cut == bvRaised ? light : dark;
    const COLORREF bottomRight = cut == bvRaised ? dark : light;
    for (int i = 0; i < width; ++i) {
        base::GdiObject tl(::CreateSolidBrush(topLeft));
        base::GdiObject br(::CreateSolidBrush(bottomRight));
        RECT top{r.left, r.top, r.right, r.top + 1}, left{r.left, r.top, r.left + 1, r.bottom};
        RECT bottom{r.left, r.bottom - 1, r.right, r.bottom}, right{r.right - 1, r.top, r.right, r.bottom};
        ::FillRect(dc, &top, static_cast<HBRUSH>(tl.Get()));
        ::FillRect(dc, &left, static_cast<HBRUSH>(tl.Get()));
        ::FillRect(dc, &bottom, static_cast<HBRUSH>(br.Get()));
        ::FillRect(dc, &right, static_cast<HBRUSH>(br.Get()));
        ::InflateRect(&r, -1, -1);
    }
}

} // namespace

TPanel::TPanel(TComponent* AOwner) : TWinControl(AOwner)
{
    SetBounds(0, 0, 185, 41);
}

void TPanel::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.ClassName = L"LumigatePanel";
    params.ExStyle |= WS_EX_CONTROLPARENT;
}

void TPanel::SetBevelOuter(TBevelCut value)
{
    if (SetIfChanged(FBevelOuter, value))
        Invalidate();
}

void TPanel::SetBevelInner(TBevelCut value)
{
    if (SetIfChanged(FBevelInner, value))
        Invalidate();
}

void TPanel::SetBevelWidth(int value)
{
    if (SetIfChanged(FBevelWidth, value))
        Invalidate();
}

void TPanel::SetBorderStyle(TBorderStyle value)
{
    if (SetIfChanged(FBorderStyle, value))
        Invalidate();
}

void TPanel::SetShowCaption(bool value)
{
    if (SetIfChanged(FShowCaption, value))
        Invalidate();
}

void TPanel::Paint(TCanvas& canvas)
{
    RECT r = ClientRect();
    if (FBorderStyle == bsSingleBorder) {
        canvas.Brush.SetColor(clBlack);
        canvas.FrameRect(r);
        ::InflateRect(&r, -1, -1);
    }
    Bevel(canvas.Handle(), r, FBevelOuter, FBevelWidth);
    Bevel(canvas.Handle(), r, FBevelInner, FBevelWidth);
    if (FShowCaption && !Caption().empty()) {
        canvas.Font.Assign(Font());
        canvas.Brush.SetStyle(bsClear);
        canvas.DrawText(Caption(), r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
}

} // namespace framework
