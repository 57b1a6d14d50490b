// The window procedure of every windowed control and the handling of its messages: painting,
// commands and colours for native children, the context menu, the cursor, and the mouse
// for the windowless children.

#include "framework/control.h"

#include "framework/application.h"
#include "framework/guard.h"

#include <windowsx.h>

namespace framework {
namespace {

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
    bool handled = false;
    switch (m.Msg) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
    case WM_ERASEBKGND:
        handled = WmPaint(m);
        break;
    case WM_COMMAND:
        handled = WmCommand(m);
        break;
    case CN_COMMAND:
        CommandNotify(HIWORD(m.WParam));
        handled = true;
        break;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        WmCtlColor(m);
        handled = true;
        break;
    case WM_WINDOWPOSCHANGED:
        SyncBoundsFromWindow();
        break;
    case WM_CONTEXTMENU:
        handled = WmContextMenu(m);
        break;
    case WM_SETCURSOR:
        handled = WmSetCursor(m);
        break;
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
        handled = WmMouse(m);
        break;
    case WM_MOUSELEAVE:
        SetHoverControl(nullptr);
        break;
    default:
        break;
    }
    if (!handled)
        DefaultHandler(m);
}

// A control on a native window class paints itself; all others paint in WM_PAINT,
// double-buffered, and erase nothing.
bool TWinControl::WmPaint(TMessage& m)
{
    if (FDefProc)
        return false;
    if (m.Msg == WM_PAINT) {
        PaintScope paint(FHandle.Get());
        PaintHandler(paint.Dc(), &paint.Update());
    } else if (m.Msg == WM_PRINTCLIENT) {
        PaintHandler(reinterpret_cast<HDC>(m.WParam), nullptr);
    } else {
        m.Result = 1;
    }
    return true;
}

bool TWinControl::WmCommand(TMessage& m)
{
    if (!m.LParam || !::GetPropW(reinterpret_cast<HWND>(m.LParam), ControlProperty))
        return false;
    ::SendMessageW(reinterpret_cast<HWND>(m.LParam), CN_COMMAND, m.WParam, m.LParam);
    return true;
}

// Native children show this control's colour around and behind them.
void TWinControl::WmCtlColor(TMessage& m)
{
    FChildBrush.SetColor(Color());
    ::SetBkColor(reinterpret_cast<HDC>(m.WParam), ColorToRGB(Color()));
    m.Result = reinterpret_cast<LRESULT>(FChildBrush.Handle());
}

bool TWinControl::WmContextMenu(TMessage& m)
{
    if (FDefProc)
        return false;
    POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
    const bool keyboard = p.x == -1 && p.y == -1;
    if (!keyboard)
        ::ScreenToClient(FHandle.Get(), &p);
    TControl* c = keyboard ? nullptr : ControlAtPoint(p.x, p.y);
    if (c) {
        p.x -= c->Left();
        p.y -= c->Top();
    }
    if (!(c ? c : this)->ContextPopup(p))
        return false;
    m.Result = 0;
    return true;
}

// The cursor of the windowless child under the mouse, else this control's own.
bool TWinControl::WmSetCursor(TMessage& m)
{
    if (FDefProc || reinterpret_cast<HWND>(m.WParam) != FHandle.Get() || LOWORD(m.LParam) != HTCLIENT)
        return false;
    POINT p;
    ::GetCursorPos(&p);
    ::ScreenToClient(FHandle.Get(), &p);
    const TControl* c = ControlAtPoint(p.x, p.y);
    const TCursor cursor = c && c->Cursor() != crDefault ? c->Cursor() : Cursor();
    if (cursor == crDefault)
        return false;
    ::SetCursor(CursorHandle(cursor));
    m.Result = TRUE;
    return true;
}

// The windowless child under the mouse gets the mouse; a pressed button captures it for
// that child until the button is released.
bool TWinControl::WmMouse(TMessage& m)
{
    if (FDefProc)
        return false;
    const int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
    if (m.Msg == WM_LBUTTONDOWN) {
        FMouseControl = ControlAtPoint(x, y);
        if (FMouseControl)
            ::SetCapture(FHandle.Get());
    }
    TControl* target = m.Msg == WM_MOUSEMOVE && !FMouseControl ? ControlAtPoint(x, y) : FMouseControl;
    if (m.Msg == WM_MOUSEMOVE)
        SetHoverControl(target);
    if (!target)
        return false;
    const int cx = x - target->Left(), cy = y - target->Top();
    if (m.Msg == WM_LBUTTONDOWN) {
        target->MouseDown(cx, cy);
    } else if (m.Msg == WM_MOUSEMOVE) {
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
    return true;
}

// The windowless child under the mouse; the one it leaves hears of it (MouseLeave), also
// when the mouse leaves the window (asked for with TrackMouseEvent).
void TWinControl::SetHoverControl(TControl* control)
{
    if (control == FHoverControl)
        return;
    TControl* left = FHoverControl;
    FHoverControl = control;
    if (control && FHandle) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, FHandle.Get(), 0};
        ::TrackMouseEvent(&track);
    }
    if (left)
        left->MouseLeave();
}

TControl* TWinControl::ControlAtPoint(int x, int y) const
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

} // namespace framework
