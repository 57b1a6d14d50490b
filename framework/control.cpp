#include "framework/control.h"

#include "base/window_class.h"
#include "framework/application.h"
#include "framework/guard.h"
#include "framework/popup_menu.h"

#include <windowsx.h>

#include <algorithm>

namespace framework {
namespace {

constexpr const wchar_t* ControlProperty = L"LumigateControl";
// A notification that the parent received from a child window, passed on to the child's
// own window procedure, so that the child's boundary is the one that catches a failure.
constexpr UINT CN_COMMAND = 0xBC00 + WM_COMMAND;

class PaintScope
{
public:
    explicit PaintScope(HWND wnd) : FWnd(wnd) { FDc = ::BeginPaint(wnd, &FPaint); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    ~PaintScope() { ::EndPaint(FWnd, &FPaint); }
    HDC Dc() const { return FDc; }
    const RECT& Update() const { return FPaint.rcPaint; }

private:
    HWND FWnd;
    PAINTSTRUCT FPaint{};
    HDC FDc;
};

} // namespace

// ---------------------------------------------------------------- TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner)
{
    FFont.OnChange = [this](TObject*) { FontChanged(); };
}

TControl::~TControl()
{
    FFont.OnChange = nullptr;
    if (FParent)
        FParent->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent)
{
    if (parent == FParent)
        return;
    if (FParent)
        FParent->RemoveControl(this);
    if (parent)
        parent->InsertControl(this);
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    if (left == FLeft && top == FTop && width == FWidth && height == FHeight)
        return;
    Invalidate();
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    RecordAnchorGaps();
    Invalidate();
    BoundsChanged();
}

void TControl::RecordAnchorGaps()
{
    if (!FParent)
        return;
    const RECT client = FParent->ClientRect();
    FRightGap = client.right - (FLeft + FWidth);
    FBottomGap = client.bottom - (FTop + FHeight);
}

void TControl::SetAlign(TAlign align)
{
    if (SetIfChanged(FAlign, align) && FParent)
        FParent->AlignControls();
}

void TControl::SetAnchors(TAnchors anchors)
{
    if (SetIfChanged(FAnchors, anchors))
        RecordAnchorGaps();
}

void TControl::SetVisible(bool visible)
{
    if (SetIfChanged(FVisible, visible))
        VisibleChanged();
}

void TControl::VisibleChanged()
{
    // Invalidate both states: the area shows either the control or what lies below it.
    if (FParent) {
        FParent->Invalidate();
        if (FAlign != alNone)
            FParent->AlignControls();
    }
}

bool TControl::Showing() const
{
    for (const TControl* c = this; c; c = c->FParent)
        if (!c->FVisible)
            return false;
    return true;
}

void TControl::SetEnabled(bool enabled)
{
    if (SetIfChanged(FEnabled, enabled))
        EnabledChanged();
}

void TControl::SetColor(TColor color)
{
    FParentColor = false;
    if (SetIfChanged(FColor, color))
        ColorChanged();
}

void TControl::SetParentColor(bool value)
{
    if (SetIfChanged(FParentColor, value) && value)
        ParentColorChanged();
}

void TControl::ParentColorChanged()
{
    if (FParentColor && FParent && SetIfChanged(FColor, FParent->Color()))
        ColorChanged();
}

void TControl::SetParentFont(bool value)
{
    if (SetIfChanged(FParentFont, value) && value)
        ParentFontChanged();
}

void TControl::ParentFontChanged()
{
    if (!FParentFont || !FParent)
        return;
    FFollowingParent = true;
    FFont.Assign(FParent->Font());
    FFollowingParent = false;
}

void TControl::FontChanged()
{
    // A change through the font object itself makes the font the control's own.
    if (!FFollowingParent)
        FParentFont = false;
    Invalidate();
}

void TControl::SetCaption(const std::wstring& caption)
{
    if (SetIfChanged(FCaption, caption))
        CaptionChanged();
}

void TControl::Invalidate()
{
    if (FParent && FParent->HandleAllocated() && FVisible) {
        const RECT r = BoundsRect();
        ::InvalidateRect(FParent->Handle(), &r, FALSE);
    }
}

void TControl::Click()
{
    if (OnClick)
        OnClick(this);
}

void TControl::Paint(TCanvas&) {}

HWND TControl::ParentWindow() const
{
    const TControl* top = this;
    while (top->FParent)
        top = top->FParent;
    auto* win = dynamic_cast<const TWinControl*>(top);
    return win && win->HandleAllocated() ? const_cast<TWinControl*>(win)->Handle() : nullptr;
}

// ---------------------------------------------------------------- TWinControl

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl()
{
    // Children are owned elsewhere (by the form, as a rule) and may outlive this control;
    // they must not reach back into it.
    for (TControl* c : FControls)
        c->FParent = nullptr;
    FControls.clear();
    DestroyHandle();
}

void TWinControl::DestroyHandle()
{
    if (!FHandle)
        return;
    // From here on the window's messages go to the default handling only: the object is
    // being taken apart.
    ::RemovePropW(FHandle.Get(), ControlProperty);
    if (FDefProc)
        ::SetWindowLongPtrW(FHandle.Get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FDefProc));
    FDefProc = nullptr;
    FHandle.Reset();
}

void TWinControl::InsertControl(TControl* control)
{
    control->FParent = this;
    FControls.push_back(control);
    control->RecordAnchorGaps();
    control->ParentFontChanged();
    control->ParentColorChanged();
    if (auto* win = dynamic_cast<TWinControl*>(control)) {
        if (HandleAllocated())
            win->HandleNeeded();
    }
    if (control->FAlign != alNone)
        AlignControls();
    control->Invalidate();
}

void TWinControl::RemoveControl(TControl* control)
{
    control->Invalidate();
    if (FMouseControl == control)
        FMouseControl = nullptr;
    if (auto* win = dynamic_cast<TWinControl*>(control))
        win->DestroyHandle();
    FControls.erase(std::remove(FControls.begin(), FControls.end(), control), FControls.end());
    control->FParent = nullptr;
}

void TWinControl::SetParent(TWinControl* parent)
{
    if (parent != Parent())
        DestroyHandle();
    TControl::SetParent(parent);
}

void TWinControl::SetBounds(int left, int top, int width, int height)
{
    const RECT oldClient = ClientRect();
    const bool resized = width != Width() || height != Height();
    TControl::SetBounds(left, top, width, height);
    if (HandleAllocated())
        ::SetWindowPos(FHandle.Get(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (resized)
        ClientResized(oldClient.right, oldClient.bottom);
}

void TWinControl::ClientResized(int oldWidth, int oldHeight)
{
    const RECT client = ClientRect();
    const int dw = client.right - oldWidth;
    const int dh = client.bottom - oldHeight;
    Resized();
    for (TControl* c : FControls) {
        if (c->FAlign != alNone)
            continue;
        int left = c->FLeft, top = c->FTop, width = c->FWidth, height = c->FHeight;
        if (c->FAnchors & akRight) {
            if (c->FAnchors & akLeft)
                width += dw;
            else
                left += dw;
        }
        if (c->FAnchors & akBottom) {
            if (c->FAnchors & akTop)
                height += dh;
            else
                top += dh;
        }
        c->SetBounds(left, top, width, height);
    }
    AlignControls();
}

void TWinControl::AlignControls()
{
    RECT rest = AlignRect();
    for (TAlign pass : {alTop, alBottom, alLeft, alRight, alClient}) {
        for (TControl* c : FControls) {
            if (c->FAlign != pass || !c->FVisible)
                continue;
            const int w = rest.right - rest.left, h = rest.bottom - rest.top;
            switch (pass) {
            case alTop:
                c->SetBounds(rest.left, rest.top, w, c->FHeight);
                rest.top += c->FHeight;
                break;
            case alBottom:
                c->SetBounds(rest.left, rest.bottom - c->FHeight, w, c->FHeight);
                rest.bottom -= c->FHeight;
                break;
            case alLeft:
                c->SetBounds(rest.left, rest.top, c->FWidth, h);
                rest.left += c->FWidth;
                break;
            case alRight:
                c->SetBounds(rest.right - c->FWidth, rest.top, c->FWidth, h);
                rest.right -= c->FWidth;
                break;
            default:
                c->SetBounds(rest.left, rest.top, std::max(0, w), std::max(0, h));
                break;
            }
        }
    }
}

void TWinControl::CreateParams(TCreateParams& params)
{
    params.X = Left();
    params.Y = Top();
    params.Width = Width();
    params.Height = Height();
    if (Visible())
        params.Style |= WS_VISIBLE;
    if (!Enabled())
        params.Style |= WS_DISABLED;
    if (FTabStop)
        params.Style |= WS_TABSTOP;
    if (Parent())
        params.WndParent = Parent()->Handle();
}

HWND TWinControl::Handle()
{
    if (!FHandle && !FCreating) {
        if (Parent() && !Parent()->HandleAllocated()) {
            // The parent creates the windows of all its children with its own.
            Parent()->HandleNeeded();
            if (FHandle)
                return FHandle.Get();
        }
        FCreating = true;
        CreateWnd();
        FCreating = false;
        if (FHandle) {
            SendFont();
            for (TControl* c : FControls)
                if (auto* win = dynamic_cast<TWinControl*>(c))
                    ChildWindowCreated(win);
        }
    }
    return FHandle.Get();
}

void TWinControl::ChildWindowCreated(TWinControl* child)
{
    child->HandleNeeded();
    // Later children lie above earlier ones.
    if (child->HandleAllocated())
        ::SetWindowPos(child->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TWinControl::CreateWnd()
{
    TCreateParams params;
    CreateParams(params);
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (params.Native) {
        HWND wnd = ::CreateWindowExW(params.ExStyle, params.ClassName, Caption().c_str(), params.Style,
                                     params.X, params.Y, params.Width, params.Height, params.WndParent,
                                     nullptr, instance, nullptr);
        if (!wnd)
            return;
        FHandle.Reset(wnd);
        ::SetPropW(wnd, ControlProperty, this);
        FDefProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinControl::StdWndProc)));
    } else {
        LPCWSTR cls = base::RegisteredClass(params.ClassName, &TWinControl::StdWndProc, true);
        // StdWndProc takes the window into FHandle while handling WM_NCCREATE.
        ::CreateWindowExW(params.ExStyle, cls, Caption().c_str(), params.Style, params.X, params.Y,
                          params.Width, params.Height, params.WndParent, nullptr, instance, this);
    }
    if (FHandle && Parent())
        ::SetWindowPos(FHandle.Get(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

LRESULT CALLBACK TWinControl::StdWndProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    auto* control = static_cast<TWinControl*>(::GetPropW(wnd, ControlProperty));
    if (!control && msg == WM_NCCREATE) {
        control = static_cast<TWinControl*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        if (control) {
            control->FHandle.Reset(wnd);
            ::SetPropW(wnd, ControlProperty, control);
        }
    }
    if (!control)
        return ::DefWindowProcW(wnd, msg, wparam, lparam);

    TMessage message{msg, wparam, lparam, 0};
    if (std::exception_ptr error = Guarded([&] { control->WndProc(message); }))
        HandleException(control, error);

    if (msg == WM_NCDESTROY) {
        ::RemovePropW(wnd, ControlProperty);
        if (control->FDefProc)
            ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(control->FDefProc));
        control->FDefProc = nullptr;
        control->FHandle.Release();
    }
    return message.Result;
}

void TWinControl::DefaultHandler(TMessage& m)
{
    HWND wnd = FHandle.Get();
    m.Result = FDefProc ? ::CallWindowProcW(FDefProc, wnd, m.Msg, m.WParam, m.LParam)
                        : ::DefWindowProcW(wnd, m.Msg, m.WParam, m.LParam);
}

void TWinControl::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_PAINT:
        if (!FDefProc) {
            PaintScope paint(FHandle.Get());
            PaintHandler(paint.Dc(), &paint.Update());
            return;
        }
        break;
    case WM_PRINTCLIENT:
        if (!FDefProc) {
            PaintHandler(reinterpret_cast<HDC>(m.WParam), nullptr);
            return;
        }
        break;
    case WM_ERASEBKGND:
        if (!FDefProc) {
            m.Result = 1; // everything is painted in WM_PAINT, double-buffered
            return;
        }
        break;
    case WM_COMMAND:
        if (m.LParam && ::GetPropW(reinterpret_cast<HWND>(m.LParam), ControlProperty)) {
            ::SendMessageW(reinterpret_cast<HWND>(m.LParam), CN_COMMAND, m.WParam, m.LParam);
            return;
        }
        break;
    case CN_COMMAND:
        CommandNotify(HIWORD(m.WParam));
        return;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC: {
        // Native children show this control's colour around and behind them.
        static TBrush brush;
        brush.SetColor(Color());
        ::SetBkColor(reinterpret_cast<HDC>(m.WParam), ColorToRGB(Color()));
        m.Result = reinterpret_cast<LRESULT>(brush.Handle());
        return;
    }
    case WM_WINDOWPOSCHANGED:
        SyncBoundsFromWindow();
        break;
    case WM_CONTEXTMENU:
        if (!FDefProc) {
            POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
            const bool keyboard = p.x == -1 && p.y == -1;
            if (!keyboard)
                ::ScreenToClient(FHandle.Get(), &p);
            TControl* c = keyboard ? nullptr : ControlAtPoint(p.x, p.y);
            if (c) {
                p.x -= c->Left();
                p.y -= c->Top();
            }
            if ((c ? c : this)->ContextPopup(p)) {
                m.Result = 0;
                return;
            }
        }
        break;
    case WM_SETCURSOR:
        if (!FDefProc && reinterpret_cast<HWND>(m.WParam) == FHandle.Get() && LOWORD(m.LParam) == HTCLIENT) {
            // The cursor of the windowless child under the mouse, else this control's own.
            POINT p;
            ::GetCursorPos(&p);
            ::ScreenToClient(FHandle.Get(), &p);
            const TControl* c = ControlAtPoint(p.x, p.y);
            const TCursor cursor = c && c->Cursor() != crDefault ? c->Cursor() : Cursor();
            if (cursor != crDefault) {
                ::SetCursor(CursorHandle(cursor));
                m.Result = TRUE;
                return;
            }
        }
        break;
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
        if (!FDefProc) {
            const int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
            if (m.Msg == WM_LBUTTONDOWN) {
                FMouseControl = ControlAtPoint(x, y);
                if (FMouseControl)
                    ::SetCapture(FHandle.Get());
            }
            TControl* target = m.Msg == WM_MOUSEMOVE && !FMouseControl ? ControlAtPoint(x, y) : FMouseControl;
            if (target) {
                const int cx = x - target->Left(), cy = y - target->Top();
                if (m.Msg == WM_LBUTTONDOWN)
                    target->MouseDown(cx, cy);
                else if (m.Msg == WM_MOUSEMOVE) {
                    target->MouseMove(cx, cy);
                    if (target->OnMouseMove)
                        target->OnMouseMove(target, cx, cy);
                } else {
                    FMouseControl = nullptr;
                    ::ReleaseCapture();
                    target->MouseUp(cx, cy);
                    if (cx >= 0 && cy >= 0 && cx < target->Width() && cy < target->Height())
                        target->Click();
                }
                return;
            }
        }
        break;
    default:
        break;
    }
    DefaultHandler(m);
}

TControl* TWinControl::ControlAtPoint(int x, int y)
{
    for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
        TControl* c = *it;
        if (!c->IsWindowed() && c->Visible() && c->Enabled() && x >= c->Left() && y >= c->Top() &&
            x < c->Left() + c->Width() && y < c->Top() + c->Height())
            return c;
    }
    return nullptr;
}

void TWinControl::SyncBoundsFromWindow()
{
    RECT r;
    ::GetWindowRect(FHandle.Get(), &r);
    HWND parent = ::GetParent(FHandle.Get());
    if (parent && (::GetWindowLongW(FHandle.Get(), GWL_STYLE) & WS_CHILD))
        ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    const RECT oldClient = ClientRect();
    const bool resized = r.right - r.left != Width() || r.bottom - r.top != Height();
    TControl::SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
    const RECT newClient = ClientRect();
    if (resized || newClient.right != oldClient.right || newClient.bottom != oldClient.bottom)
        ClientResized(oldClient.right, oldClient.bottom);
}

void TWinControl::PaintHandler(HDC target, const RECT* update)
{
    RECT client;
    ::GetClientRect(FHandle.Get(), &client);
    const int w = client.right, h = client.bottom;
    if (w <= 0 || h <= 0)
        return;
    // Double buffer: the whole surface is composed off screen and copied in one step.
    base::MemoryDc memory(::CreateCompatibleDC(target));
    if (!FBuffer || FBufferSize.cx != w || FBufferSize.cy != h) {
        FBuffer = base::GdiObject(::CreateCompatibleBitmap(target, w, h));
        FBufferSize = {w, h};
    }
    if (!memory || !FBuffer)
        return;
    base::DcSelection selected(memory.Get(), FBuffer.Get());
    TCanvas canvas(memory.Get());
    PaintWindow(canvas);
    PaintControls(canvas);
    if (update)
        ::BitBlt(target, update->left, update->top, update->right - update->left,
                 update->bottom - update->top, memory.Get(), update->left, update->top, SRCCOPY);
    else
        ::BitBlt(target, 0, 0, w, h, memory.Get(), 0, 0, SRCCOPY);
}

void TWinControl::PaintWindow(TCanvas& canvas)
{
    if (Color() != clNone) {
        canvas.Brush.SetColor(Color());
        canvas.FillRect(ClientRect());
    }
    Paint(canvas);
}

void TWinControl::PaintControls(TCanvas& canvas)
{
    HDC dc = canvas.Handle();
    for (TControl* c : FControls) {
        if (c->IsWindowed() || !c->Visible() || c->Width() <= 0 || c->Height() <= 0)
            continue;
        base::SavedDc saved(dc);
        POINT origin;
        ::GetViewportOrgEx(dc, &origin);
        ::SetViewportOrgEx(dc, origin.x + c->Left(), origin.y + c->Top(), nullptr);
        ::IntersectClipRect(dc, 0, 0, c->Width(), c->Height());
        TCanvas child(dc);
        c->Paint(child);
    }
}

void TWinControl::PaintTo(HDC dc)
{
    if (!Visible())
        return;
    PaintSurfaceTo(dc);
    for (TControl* c : FControls) {
        auto* win = dynamic_cast<TWinControl*>(c);
        if (!win || !win->Visible())
            continue;
        base::SavedDc saved(dc);
        POINT origin;
        ::GetViewportOrgEx(dc, &origin);
        ::SetViewportOrgEx(dc, origin.x + c->Left(), origin.y + c->Top(), nullptr);
        win->PaintTo(dc);
    }
}

HCURSOR CursorHandle(TCursor cursor)
{
    switch (cursor) {
    case crHandPoint:
        return ::LoadCursorW(nullptr, IDC_HAND);
    case crIBeam:
        return ::LoadCursorW(nullptr, IDC_IBEAM);
    case crHourGlass:
        return ::LoadCursorW(nullptr, IDC_WAIT);
    default:
        return ::LoadCursorW(nullptr, IDC_ARROW);
    }
}

void TControl::SetPopupMenu(TPopupMenu* menu)
{
    FPopupMenu = menu;
    FreeNotification(menu);
}

void TControl::Notification(TComponent* component)
{
    if (component == FPopupMenu)
        FPopupMenu = nullptr;
}

bool TControl::ContextPopup(POINT pos)
{
    bool handled = false;
    if (OnContextPopup)
        OnContextPopup(this, pos, handled);
    if (handled)
        return true;
    if (!FPopupMenu || !FPopupMenu->AutoPopup)
        return false;
    POINT screen = pos.x == -1 && pos.y == -1 ? POINT{0, 0} : pos;
    TWinControl* host = IsWindowed() ? static_cast<TWinControl*>(this) : Parent();
    if (!host || !host->HandleAllocated())
        return false;
    if (!IsWindowed()) {
        screen.x += Left();
        screen.y += Top();
    }
    ::ClientToScreen(host->Handle(), &screen);
    FPopupMenu->Popup(screen.x, screen.y, host->Handle());
    return true;
}

void TControl::SetCursor(TCursor cursor)
{
    if (!SetIfChanged(FCursor, cursor))
        return;
    // Shown at once when the mouse is over the window that shows the control.
    TWinControl* host = IsWindowed() ? static_cast<TWinControl*>(this) : Parent();
    POINT p;
    if (!host || !host->HandleAllocated() || !::GetCursorPos(&p))
        return;
    HWND under = ::WindowFromPoint(p);
    if (under == host->Handle())
        ::SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                       MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

void TWinControl::PaintSurfaceTo(HDC dc)
{
    base::SavedDc saved(dc);
    RECT client = ClientRect();
    ::IntersectClipRect(dc, 0, 0, client.right, client.bottom);
    if (FDefProc && HandleAllocated()) {
        ::SendMessageW(FHandle.Get(), WM_PRINT, reinterpret_cast<WPARAM>(dc),
                       PRF_CLIENT | PRF_NONCLIENT | PRF_ERASEBKGND);
    } else {
        TCanvas canvas(dc);
        PaintWindow(canvas);
        PaintControls(canvas);
    }
}

void TWinControl::Invalidate()
{
    if (HandleAllocated())
        ::InvalidateRect(FHandle.Get(), nullptr, FALSE);
}

void TWinControl::SetTabStop(bool value)
{
    if (SetIfChanged(FTabStop, value) && HandleAllocated()) {
        LONG style = ::GetWindowLongW(FHandle.Get(), GWL_STYLE);
        style = value ? style | WS_TABSTOP : style & ~WS_TABSTOP;
        ::SetWindowLongW(FHandle.Get(), GWL_STYLE, style);
    }
}

void TWinControl::SetFocus()
{
    ::SetFocus(Handle());
}

bool TWinControl::Focused() const
{
    return HandleAllocated() && ::GetFocus() == FHandle.Get();
}

void TWinControl::SendFont()
{
    if (FHandle && FDefProc)
        ::SendMessageW(FHandle.Get(), WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle()), TRUE);
}

void TWinControl::FontChanged()
{
    TControl::FontChanged();
    SendFont();
    for (TControl* c : FControls)
        c->ParentFontChanged();
}

void TWinControl::ColorChanged()
{
    TControl::ColorChanged();
    Invalidate();
    for (TControl* c : FControls)
        c->ParentColorChanged();
}

void TWinControl::CaptionChanged()
{
    if (HandleAllocated())
        ::SetWindowTextW(FHandle.Get(), Caption().c_str());
    Invalidate();
}

void TWinControl::VisibleChanged()
{
    if (HandleAllocated())
        ::ShowWindow(FHandle.Get(), Visible() ? SW_SHOWNA : SW_HIDE);
    TControl::VisibleChanged();
}

void TWinControl::EnabledChanged()
{
    if (HandleAllocated())
        ::EnableWindow(FHandle.Get(), Enabled());
    Invalidate();
}

} // namespace framework
