#include "controls/panel/themed_panel.h"

#include <windowsx.h>

#include <algorithm>
#include <vector>

namespace panel {
namespace {

using framework::ColorToRGB;
using framework::SystemColor;

COLORREF Mix(COLORREF a, COLORREF b, int i, int n)
{
    auto channel = [&](int shift) {
        const int x = a >> shift & 255, y = b >> shift & 255;
        return (x + (y - x) * i / std::max(n - 1, 1)) << shift;
    };
    return static_cast<COLORREF>(channel(0) | channel(8) | channel(16));
}

void Fill(HDC dc, const RECT& r, COLORREF color)
{
    base::GdiObject brush(::CreateSolidBrush(color));
    ::FillRect(dc, &r, static_cast<HBRUSH>(brush.Get()));
}

// One 1-pixel frame on the given sides, then the rectangle shrinks by it.
void Frame(HDC dc, RECT& r, unsigned sides, COLORREF topLeft, COLORREF bottomRight)
{
    if (sides & bsTop)
        Fill(dc, {r.left, r.top, r.right, r.top + 1}, topLeft);
    if (sides & bsLeft)
        Fill(dc, {r.left, r.top, r.left + 1, r.bottom}, topLeft);
    if (sides & bsBottom)
        Fill(dc, {r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
    if (sides & bsRight)
        Fill(dc, {r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    r.left += sides & bsLeft ? 1 : 0;
    r.top += sides & bsTop ? 1 : 0;
    r.right -= sides & bsRight ? 1 : 0;
    r.bottom -= sides & bsBottom ? 1 : 0;
}

void Gradient(HDC dc, const RECT& r, TBackgroundType type, COLORREF from, COLORREF to, int steps)
{
    const int w = r.right - r.left, h = r.bottom - r.top, n = std::max(steps, 1);
    if (w <= 0 || h <= 0)
        return;
    Fill(dc, r, from);
    base::DcSelection pen(dc, ::GetStockObject(NULL_PEN));
    for (int i = 0; i < n; ++i) {
        const COLORREF c = Mix(from, to, i, n);
        base::GdiObject brush(::CreateSolidBrush(c));
        base::DcSelection selected(dc, brush.Get());
        const int left = n - i; // the share of the shape still to come, in n-ths
        switch (type) {
        case bgtHorzGradient:
            Fill(dc, {r.left + w * i / n, r.top, r.left + w * (i + 1) / n, r.bottom}, c);
            break;
        case bgtVertGradient:
            Fill(dc, {r.left, r.top + h * i / n, r.right, r.top + h * (i + 1) / n}, c);
            break;
        case bgtSquareGradient:
            Fill(dc,
                 {r.left + w * i / (2 * n), r.top + h * i / (2 * n), r.right - w * i / (2 * n),
                  r.bottom - h * i / (2 * n)},
                 c);
            break;
        case bgtEllipticGradient: {
            // Ellipses through the corners at first, shrinking to the centre.
            const int rx = w * 71 * left / (100 * n), ry = h * 71 * left / (100 * n);
            const int cx = r.left + w / 2, cy = r.top + h / 2;
            ::Ellipse(dc, cx - rx, cy - ry, cx + rx + 1, cy + ry + 1);
            break;
        }
        case bgtTopLeftGradient:
        case bgtTopRightGradient:
        case bgtBottomLeftGradient:
        case bgtBottomRightGradient: {
            const int cw = w * left / n, ch = h * left / n;
            const bool right = type == bgtTopRightGradient || type == bgtBottomRightGradient;
            const bool bottom = type == bgtBottomLeftGradient || type == bgtBottomRightGradient;
            const int x = right ? r.right - cw : r.left, y = bottom ? r.bottom - ch : r.top;
            Fill(dc, {x, y, x + cw, y + ch}, c);
            break;
        }
        case bgtTopLeftDiagonalGradient:
        case bgtTopRightDiagonalGradient: {
            const int legX = 2 * w * left / n, legY = 2 * h * left / n;
            const bool right = type == bgtTopRightDiagonalGradient;
            const int x0 = right ? r.right : r.left;
            const POINT points[] = {{x0, r.top}, {right ? x0 - legX : x0 + legX, r.top}, {x0, r.top + legY}};
            ::Polygon(dc, points, 3);
            break;
        }
        default:
            break;
        }
    }
}

void DrawBitmap(HDC dc, const base::GdiObject& bitmap, int x, int y, int w, int h, int sw, int sh)
{
    base::MemoryDc source(::CreateCompatibleDC(dc));
    base::DcSelection selected(source.Get(), bitmap.Get());
    if (w == sw && h == sh)
        ::BitBlt(dc, x, y, w, h, source.Get(), 0, 0, SRCCOPY);
    else
        ::StretchBlt(dc, x, y, w, h, source.Get(), 0, 0, sw, sh, SRCCOPY);
}

SIZE BitmapSize(const base::GdiObject& bitmap)
{
    BITMAP info{};
    ::GetObjectW(bitmap.Get(), sizeof info, &info);
    return {info.bmWidth, std::abs(info.bmHeight)};
}

} // namespace

TCustomThemedPanel::TCustomThemedPanel(framework::TComponent* AOwner)
    : TWinControl(AOwner), FBorderColorShadow(SystemColor(COLOR_BTNSHADOW)),
      FBorderColorDkShadow(SystemColor(COLOR_3DDKSHADOW)), FBorderColorWindow(SystemColor(COLOR_WINDOW)),
      FBorderColorHighlight(SystemColor(COLOR_BTNHIGHLIGHT)), FBorderColorFace(SystemColor(COLOR_BTNFACE)),
      FBevelSpaceColor(SystemColor(COLOR_BTNFACE))
{
    SetBounds(0, 0, 185, 41);
}

void TCustomThemedPanel::CreateParams(framework::TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.ClassName = L"LumigatePanel";
    params.ExStyle |= WS_EX_CONTROLPARENT;
    if (FTransparent && !Themed())
        params.ExStyle |= WS_EX_TRANSPARENT;
}

void TCustomThemedPanel::Changed()
{
    Invalidate();
}

#define PANEL_SETTER(Name, Type, Field)                                                                      \
    void TCustomThemedPanel::Set##Name(Type value)                                                           \
    {                                                                                                        \
        if (framework::SetIfChanged(Field, value))                                                           \
            Changed();                                                                                       \
    }
PANEL_SETTER(BackgroundType, TBackgroundType, FBackgroundType)
PANEL_SETTER(AlphaLevel, uint8_t, FAlphaLevel)
PANEL_SETTER(BorderStyle, TPanelBorderStyle, FBorderStyle)
PANEL_SETTER(BorderType, TFlatBorderType, FBorderType)
PANEL_SETTER(BorderSides, unsigned, FBorderSides)
PANEL_SETTER(BevelSpaceColor, framework::TColor, FBevelSpaceColor)
PANEL_SETTER(Alignment, framework::TAlignment, FAlignment)
PANEL_SETTER(Layout, framework::TTextLayout, FLayout)
PANEL_SETTER(WordWrap, bool, FWordWrap)
PANEL_SETTER(ShowFocus, bool, FShowFocus)
PANEL_SETTER(OwnerDraw, bool, FOwnerDraw)
PANEL_SETTER(AlwaysPaintBackground, bool, FAlwaysPaintBackground)
PANEL_SETTER(SizeGrip, bool, FSizeGrip)
PANEL_SETTER(ThemeMode, TThemeMode, FThemeMode)
PANEL_SETTER(ThemeGlobalMode, bool, FThemeGlobalMode)
PANEL_SETTER(TransparentXPThemes, bool, FTransparentXPThemes)
#undef PANEL_SETTER

// Settings that change the area children are aligned in lay them out again.
#define PANEL_LAYOUT_SETTER(Name, Type, Field)                                                               \
    void TCustomThemedPanel::Set##Name(Type value)                                                           \
    {                                                                                                        \
        if (framework::SetIfChanged(Field, value)) {                                                         \
            AlignControls();                                                                                 \
            Changed();                                                                                       \
        }                                                                                                    \
    }
PANEL_LAYOUT_SETTER(BevelOuter, TPanelBevelStyle, FBevelOuter)
PANEL_LAYOUT_SETTER(BevelInner, TPanelBevelStyle, FBevelInner)
PANEL_LAYOUT_SETTER(BevelWidth, int, FBevelWidth)
PANEL_LAYOUT_SETTER(BorderWidth, int, FBorderWidth)
#undef PANEL_LAYOUT_SETTER

void TCustomThemedPanel::SetBackground(std::shared_ptr<const base::GdiObject> bitmap)
{
    FBackground = std::move(bitmap);
    Changed();
}

void TCustomThemedPanel::SetImageForm(TImageForm* form)
{
    FImageForm = form;
    FreeNotification(form);
    Changed();
}

void TCustomThemedPanel::Notification(framework::TComponent* component)
{
    TWinControl::Notification(component);
    if (component == FImageForm) {
        FImageForm = nullptr;
        Changed();
    }
}

bool TCustomThemedPanel::PaintImageForm(HDC dc, const RECT& r)
{
    const framework::TWinControl* owner = FImageForm ? FImageForm->Control() : nullptr;
    if (!owner || owner == this || !FImageForm->Bitmap())
        return false;
    // The image's top-left corner in this panel's client coordinates: through the parents
    // when the image's control holds the panel, else through the windows on the screen.
    POINT origin{0, 0};
    const framework::TControl* c = this;
    for (; c && c != owner; c = c->Parent()) {
        origin.x -= c->Left();
        origin.y -= c->Top();
    }
    if (!c) {
        if (!owner->HandleAllocated() || !HandleAllocated())
            return false;
        origin = {0, 0};
        ::MapWindowPoints(const_cast<framework::TWinControl*>(owner)->Handle(), Handle(), &origin, 1);
    }
    const SIZE s = BitmapSize(*FImageForm->Bitmap());
    base::SavedDc saved(dc);
    ::IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    DrawBitmap(dc, *FImageForm->Bitmap(), origin.x, origin.y, s.cx, s.cy, s.cx, s.cy);
    Tint(dc, r);
    return true;
}

void TCustomThemedPanel::SetGradient(framework::TColor start, framework::TColor end, int steps)
{
    FGradientStartColor = start;
    FGradientEndColor = end;
    FGradientSteps = std::max(steps, 1);
    Changed();
}

void TCustomThemedPanel::SetTransparent(bool value)
{
    if (!framework::SetIfChanged(FTransparent, value))
        return;
    // The window style follows: the window is made again.
    if (HandleAllocated()) {
        DestroyHandle();
        if (Parent() && Parent()->HandleAllocated())
            HandleNeeded();
    }
    Changed();
}

bool TCustomThemedPanel::Themed() const
{
    return (FThemeGlobalMode ? GlobalThemeMode() : FThemeMode) != ttmNone && VisualStylesActive();
}

RECT TCustomThemedPanel::AlignRect() const
{
    RECT r = ClientRect();
    ::InflateRect(&r, -FBorderWidth, -FBorderWidth);
    const int bevels = (FBevelOuter != bvNone ? FBevelWidth : 0) + (FBevelInner != bvNone ? FBevelWidth : 0);
    ::InflateRect(&r, -bevels, -bevels);
    const TPanelGrabHandle& left = FGrabHandles[0];
    const TPanelGrabHandle& top = FGrabHandles[1];
    const TPanelGrabHandle& right = FGrabHandles[2];
    const TPanelGrabHandle& bottom = FGrabHandles[3];
    r.left += left.Visible && left.Enabled ? left.Size : 0;
    r.top += top.Visible && top.Enabled ? top.Size : 0;
    r.right -= right.Visible && right.Enabled ? right.Size : 0;
    r.bottom -= bottom.Visible && bottom.Enabled ? bottom.Size : 0;
    return r;
}

void TCustomThemedPanel::PaintParent(HDC dc)
{
    if (!Parent())
        return;
    POINT origin;
    ::GetViewportOrgEx(dc, &origin);
    ::SetViewportOrgEx(dc, origin.x - Left(), origin.y - Top(), nullptr);
    Parent()->PaintSurfaceTo(dc);
    ::SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
}

void TCustomThemedPanel::Tint(HDC dc, const RECT& r)
{
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (FAlphaLevel == 0 || w <= 0 || h <= 0)
        return;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    base::MemoryDc memory(::CreateCompatibleDC(dc));
    base::GdiObject dib(::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory || !dib || !bits)
        return;
    base::DcSelection selected(memory.Get(), dib.Get());
    ::BitBlt(memory.Get(), 0, 0, w, h, dc, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    const COLORREF c = ColorToRGB(Color());
    const int a = FAlphaLevel;
    const uint32_t tint[3] = {static_cast<uint32_t>(GetBValue(c)), static_cast<uint32_t>(GetGValue(c)),
                              static_cast<uint32_t>(GetRValue(c))};
    auto* p = static_cast<uint32_t*>(bits);
    for (int i = 0; i < w * h; ++i) {
        uint32_t out = 0;
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = p[i] >> (8 * k) & 255;
            out |= ((v * (255 - a) + tint[k] * a) / 255) << (8 * k);
        }
        p[i] = out;
    }
    ::BitBlt(dc, r.left, r.top, w, h, memory.Get(), 0, 0, SRCCOPY);
}

void TCustomThemedPanel::PaintBackground(framework::TCanvas& canvas, const RECT& r)
{
    HDC dc = canvas.Handle();
    const COLORREF color = ColorToRGB(Color());
    const int w = r.right - r.left, h = r.bottom - r.top;
    switch (FBackgroundType) {
    case bgtColorFill:
        Fill(dc, r, color);
        break;
    case bgtTileBitmap:
    case bgtStretchBitmap:
        if (!FBackground) {
            Fill(dc, r, color);
            break;
        }
        if (FBackgroundType == bgtStretchBitmap) {
            const SIZE s = BitmapSize(*FBackground);
            DrawBitmap(dc, *FBackground, r.left, r.top, w, h, s.cx, s.cy);
        } else {
            const SIZE s = BitmapSize(*FBackground);
            for (int y = r.top; s.cy > 0 && y < r.bottom; y += s.cy)
                for (int x = r.left; s.cx > 0 && x < r.right; x += s.cx)
                    DrawBitmap(dc, *FBackground, x, y, s.cx, s.cy, s.cx, s.cy);
        }
        break;
    case bgtCenterBitmap:
        Fill(dc, r, color);
        if (FBackground) {
            const SIZE s = BitmapSize(*FBackground);
            base::SavedDc saved(dc);
            ::IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
            DrawBitmap(dc, *FBackground, r.left + (w - s.cx) / 2, r.top + (h - s.cy) / 2, s.cx, s.cy, s.cx,
                       s.cy);
        }
        break;
    case bgtTopLeftBitmap:
        if (!FBackground) {
            Fill(dc, r, color);
            break;
        }
        {
            // The panel takes its colour from the bitmap's bottom-right pixel, so that the
            // picture runs on into the rest of the panel (and the erase uses it too).
            const SIZE s = BitmapSize(*FBackground);
            base::MemoryDc source(::CreateCompatibleDC(dc));
            base::DcSelection selected(source.Get(), FBackground->Get());
            COLORREF corner = ::GetPixel(source.Get(), s.cx - 1, s.cy - 1);
            if (corner == CLR_INVALID)
                corner = color; // an empty bitmap
            else
                SetColor(static_cast<framework::TColor>(corner));
            Fill(dc, r, corner);
            ::BitBlt(dc, r.left, r.top, s.cx, s.cy, source.Get(), 0, 0, SRCCOPY);
        }
        break;
    default:
        Gradient(dc, r, FBackgroundType, ColorToRGB(FGradientStartColor), ColorToRGB(FGradientEndColor),
                 FGradientSteps);
        break;
    }
}

void TCustomThemedPanel::PaintBorder(HDC dc, RECT& r)
{
    // Each border type is a series of 1-pixel frames from the outside in, each with the
    // colour of its top and left edges and the colour of its bottom and right edges.
    enum Colour
    {
        Shadow,
        Dark,
        Window,
        Light,
        Face
    };
    struct Frames
    {
        int Count;
        Colour Edges[4][2];
    };
    static constexpr Frames Types[] = {
        {1, {{Shadow, Shadow}}},                                                   // fbtFlat
        {2, {{Shadow, Light}, {Dark, Face}}},                                      // fbtSunken
        {1, {{Dark, Face}}},                                                       // fbtSunkenInner
        {1, {{Shadow, Light}}},                                                    // fbtSunkenOuter
        {2, {{Face, Dark}, {Light, Shadow}}},                                      // fbtRaised
        {1, {{Light, Shadow}}},                                                    // fbtRaisedInner
        {1, {{Face, Dark}}},                                                       // fbtRaisedOuter
        {2, {{Light, Shadow}, {Shadow, Light}}},                                   // fbtBump
        {4, {{Light, Shadow}, {Light, Shadow}, {Shadow, Light}, {Shadow, Light}}}, // fbtBigBump
        {2, {{Shadow, Light}, {Light, Shadow}}},                                   // fbtEtched
        {2, {{Dark, Dark}, {Window, Window}}},                                     // fbtFramed
        {1, {{Dark, Dark}}},                                                       // fbtLine
        {2, {{Dark, Dark}, {Face, Face}}},                                         // fbtLineBorder
        {0, {}},                                                                   // fbtNone
        {1, {{Window, Window}}},                                                   // fbtColorLineBorder
    };
    static_assert(sizeof Types / sizeof Types[0] == fbtColorLineBorder + 1);
    const COLORREF colours[] = {ColorToRGB(FBorderColorShadow), ColorToRGB(FBorderColorDkShadow),
                                ColorToRGB(FBorderColorWindow), ColorToRGB(FBorderColorHighlight),
                                ColorToRGB(FBorderColorFace)};
    const Frames& frames = Types[FBorderType];
    for (int i = 0; i < frames.Count; ++i)
        Frame(dc, r, FBorderSides, colours[frames.Edges[i][0]], colours[frames.Edges[i][1]]);
}

void TCustomThemedPanel::PaintBevel(HDC dc, RECT& r, TPanelBevelStyle style)
{
    if (style == bvNone)
        return;
    if (Themed()) {
        ::DrawEdge(dc, &r, style == bvLowered ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
        ::InflateRect(&r, -FBevelWidth, -FBevelWidth);
        return;
    }
    const COLORREF shadow = ::GetSysColor(COLOR_BTNSHADOW), light = ::GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF space = ColorToRGB(FBevelSpaceColor);
    for (int i = 0; i < FBevelWidth; ++i) {
        const unsigned all = bsLeft | bsRight | bsTop | bsBottom;
        if (style == bvLowered)
            Frame(dc, r, all, shadow, light);
        else if (style == bvSpace)
            Frame(dc, r, all, space, space);
        else
            Frame(dc, r, all, light, shadow);
    }
}

void TCustomThemedPanel::PaintCaption(framework::TCanvas& canvas, RECT r)
{
    if (Caption().empty())
        return;
    canvas.Font.Assign(Font());
    canvas.Brush.SetStyle(framework::bsClear);
    // Line breaks of the caption always count; WordWrap adds breaks at the panel's width.
    UINT format = DT_EXPANDTABS | (FWordWrap ? DT_WORDBREAK : 0);
    format |= FAlignment == framework::taCenter         ? DT_CENTER
              : FAlignment == framework::taRightJustify ? DT_RIGHT
                                                        : 0;
    if (FLayout != framework::tlTop) {
        RECT block = r;
        canvas.DrawText(Caption(), block, format | DT_CALCRECT);
        if (FWordWrap && block.right - block.left > r.right - r.left) {
            block = r;
            canvas.DrawText(Caption(), block, format | DT_WORDBREAK | DT_CALCRECT);
        }
        const int height = block.bottom - block.top;
        r.top += FLayout == framework::tlCenter ? (r.bottom - r.top - height) / 2 : r.bottom - r.top - height;
    }
    RECT drawn = r;
    canvas.DrawText(Caption(), drawn, format);
    if (FShowFocus && Focused()) {
        RECT focus = r;
        canvas.DrawText(Caption(), focus, format | DT_CALCRECT);
        ::DrawFocusRect(canvas.Handle(), &focus);
    }
}

void TCustomThemedPanel::PaintWindow(framework::TCanvas& canvas)
{
    HDC dc = canvas.Handle();
    const RECT client = ClientRect();
    const bool themed = Themed();
    // The background erase.
    if (themed ? FTransparentXPThemes : FTransparent)
        PaintParent(dc);
    else if (themed || FBackgroundType == bgtColorFill || FBackgroundType == bgtCenterBitmap ||
             FBackgroundType == bgtTopLeftBitmap || FBackgroundType >= bgtSquareGradient)
        Fill(dc, client, ColorToRGB(Color()));

    if (!themed && FTransparent) {
        PaintParent(dc);
        Tint(dc, client);
    } else if (!themed && (!FOwnerDraw || FAlwaysPaintBackground)) {
        if (!PaintImageForm(dc, client))
            PaintBackground(canvas, client);
    } else if (themed) {
        if (FTransparentXPThemes)
            PaintParent(dc);
        else
            Fill(dc, client, ColorToRGB(Color()));
    }

    RECT r = client;
    if (FBorderStyle == pbsSingle)
        PaintBorder(dc, r);
    PaintBevel(dc, r, FBevelOuter);
    PaintBevel(dc, r, FBevelInner);
    for (int edge = 0; edge < 4; ++edge) {
        const TPanelGrabHandle& g = FGrabHandles[static_cast<size_t>(edge)];
        if (!g.Visible || !g.Enabled || g.BevelKind == bvNone)
            continue;
        RECT strip = r;
        switch (edge) {
        case 0:
            strip.right = r.left + g.Size;
            r.left = strip.right;
            break;
        case 1:
            strip.bottom = r.top + g.Size;
            r.top = strip.bottom;
            break;
        case 2:
            strip.left = r.right - g.Size;
            r.right = strip.left;
            break;
        default:
            strip.top = r.bottom - g.Size;
            r.bottom = strip.top;
            break;
        }
        PaintBevel(dc, strip, g.BevelKind);
    }
    if (FOwnerDraw) {
        if (OnPaint)
            OnPaint(this, canvas);
    } else {
        PaintCaption(canvas, r);
    }
    FSizeGripRect = {};
    if (FSizeGrip && FResizable) {
        const int size = ::GetSystemMetrics(SM_CXVSCROLL);
        FSizeGripRect = {client.right - size, client.bottom - size, client.right, client.bottom};
        RECT grip = FSizeGripRect;
        ::DrawFrameControl(dc, &grip, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
    }
    Paint(canvas);
}

LRESULT TCustomThemedPanel::HitTest(int x, int y) const
{
    const RECT c = ClientRect();
    if (FResizable) {
        const POINT p{x, y};
        if (::PtInRect(&FSizeGripRect, p))
            return HTBOTTOMRIGHT;
        // The sizing band: an eighth of the height, at least the bevel's width.
        const int band = std::max(FBevelWidth, Height() / 8);
        const bool left = x < c.left + band, right = x >= c.right - band;
        const bool top = y < c.top + band, bottom = y >= c.bottom - band;
        if (top && left)
            return HTTOPLEFT;
        if (top && right)
            return HTTOPRIGHT;
        if (bottom && left)
            return HTBOTTOMLEFT;
        if (bottom && right)
            return HTBOTTOMRIGHT;
        if (left)
            return HTLEFT;
        if (right)
            return HTRIGHT;
        if (top)
            return HTTOP;
        if (bottom)
            return HTBOTTOM;
    }
    static constexpr LRESULT Edges[] = {HTLEFT, HTTOP, HTRIGHT, HTBOTTOM};
    for (int edge = 0; edge < 4; ++edge) {
        const TPanelGrabHandle& g = FGrabHandles[static_cast<size_t>(edge)];
        if (!g.Visible || !g.Enabled)
            continue;
        const bool inside = edge == 0   ? x < c.left + g.Size
                            : edge == 1 ? y < c.top + g.Size
                            : edge == 2 ? x >= c.right - g.Size
                                        : y >= c.bottom - g.Size;
        if (inside)
            return g.Kind == ghkMove ? HTCAPTION : g.Kind == ghkSize ? Edges[edge] : HTCLIENT;
    }
    // A movable panel is dragged by its bare background: not by an edge or a handle, and
    // not where a windowless child (a label, a link) takes the mouse.
    return FMovable && !ControlAtPoint(x, y) ? HTCAPTION : HTCLIENT;
}

void TCustomThemedPanel::WndProc(framework::TMessage& m)
{
    switch (m.Msg) {
    case WM_NCHITTEST: {
        POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
        ::ScreenToClient(Handle(), &p);
        const LRESULT hit = HitTest(p.x, p.y);
        if (hit != HTCLIENT) {
            m.Result = hit;
            return;
        }
        break;
    }
    case WM_NCLBUTTONDOWN:
        if (m.WParam == HTCAPTION)
            ::SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        break;
    case WM_MOVE:
        if (FTransparent || (Themed() && FTransparentXPThemes))
            Invalidate();
        if (OnMove)
            OnMove(this);
        break;
    case WM_SIZE:
        if (FTransparent || (Themed() && FTransparentXPThemes))
            Invalidate();
        break;
    case WM_MOUSEMOVE:
        if (!FMouseInControl) {
            FMouseInControl = true;
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, Handle(), 0};
            ::TrackMouseEvent(&track);
            if (OnMouseEnter)
                OnMouseEnter(this);
        }
        break;
    case WM_MOUSELEAVE:
        FMouseInControl = false;
        if (OnMouseLeave)
            OnMouseLeave(this);
        break;
    default:
        break;
    }
    TWinControl::WndProc(m);
}

} // namespace panel
