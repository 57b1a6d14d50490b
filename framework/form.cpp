#include "framework/form.h"

#include "framework/application.h"

namespace framework {

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner)
{
    SetVisible(false);
    Font().SetName(L"Tahoma");
    Font().SetHeight(-11);
    SetClientSize(300, 200);
}

DWORD TForm::WindowStyle() const
{
    switch (FBorderStyle) {
    case bsNone:
        return WS_POPUP;
    case bsSingle:
        return WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_BORDER;
    case bsDialog:
        return WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    case bsSizeable:
    default:
        return WS_OVERLAPPEDWINDOW;
    }
}

DWORD TForm::WindowExStyle() const
{
    DWORD ex = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;
    if (FBorderStyle == bsDialog)
        ex |= WS_EX_DLGMODALFRAME;
    return ex;
}

void TForm::SetBorderStyle(TFormBorderStyle style)
{
    if (!SetIfChanged(FBorderStyle, style))
        return;
    if (HandleAllocated()) {
        const DWORD keep =
            ::GetWindowLongW(Handle(), GWL_STYLE) & (WS_VISIBLE | WS_DISABLED | WS_CLIPCHILDREN);
        ::SetWindowLongW(Handle(), GWL_STYLE, static_cast<LONG>(WindowStyle() | keep));
        ::SetWindowLongW(Handle(), GWL_EXSTYLE, static_cast<LONG>(WindowExStyle()));
        ::SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
    SetClientSize(FClientWidth, FClientHeight);
}

RECT TForm::ClientRect() const
{
    if (HandleAllocated()) {
        RECT r;
        ::GetClientRect(const_cast<TForm*>(this)->Handle(), &r);
        return r;
    }
    return {0, 0, FClientWidth, FClientHeight};
}

void TForm::SetClientSize(int width, int height)
{
    FClientWidth = width;
    FClientHeight = height;
    RECT r{0, 0, width, height};
    ::AdjustWindowRectEx(&r, WindowStyle(), FALSE, WindowExStyle());
    SetBounds(Left(), Top(), r.right - r.left, r.bottom - r.top);
}

void TForm::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.ClassName = L"LumigateForm";
    params.Style = WindowStyle() | WS_CLIPCHILDREN;
    params.ExStyle = WindowExStyle();
    params.WndParent = nullptr;
}

void TForm::DoCreate()
{
    if (OnCreate)
        OnCreate(this);
}

void TForm::ShowForm()
{
    HandleNeeded();
    if (!FPlaced) {
        FPlaced = true;
        if (FPosition == poScreenCenter) {
            RECT work;
            ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
            SetBounds(work.left + (work.right - work.left - Width()) / 2,
                      work.top + (work.bottom - work.top - Height()) / 2, Width(), Height());
        }
    }
    SetVisible(true);
    ::SetForegroundWindow(Handle());
    FocusFirstControl();
}

void TForm::VisibleChanged()
{
    if (HandleAllocated())
        ::ShowWindow(Handle(), Visible() ? SW_SHOW : SW_HIDE);
}

void TForm::FocusFirstControl()
{
    if (FActiveControl && FActiveControl->HandleAllocated() && ::IsWindowVisible(FActiveControl->Handle())) {
        FActiveControl->SetFocus();
        return;
    }
    if (HWND first = ::GetNextDlgTabItem(Handle(), nullptr, FALSE))
        ::SetFocus(first);
}

void TForm::Close()
{
    if (OnClose)
        OnClose(this);
    if (Application() && Application()->MainForm() == this)
        Application()->Terminate();
    else
        Hide();
}

void TForm::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_CLOSE:
        Close();
        return;
    case WM_ACTIVATE:
        // Keyboard focus comes back to the control that had it when the form was left.
        if (LOWORD(m.WParam) == WA_INACTIVE) {
            HWND focus = ::GetFocus();
            FLastFocus = focus && ::IsChild(Handle(), focus) ? focus : nullptr;
        } else if (!HIWORD(m.WParam)) {
            DefaultHandler(m);
            if (FLastFocus && ::IsWindow(FLastFocus) && ::IsChild(Handle(), FLastFocus))
                ::SetFocus(FLastFocus);
            else
                FocusFirstControl();
            return;
        }
        break;
    default:
        break;
    }
    TWinControl::WndProc(m);
}

} // namespace framework
