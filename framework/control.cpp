#include "framework/control.h"

#include "base/window_class.h"
#include "framework/popup_menu.h"

#include <algorithm>

namespace framework {

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
    if (FHoverControl == control)
        FHoverControl = nullptr;
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
