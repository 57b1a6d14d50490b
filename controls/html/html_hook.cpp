#include "controls/html/html_hook.h"

#include <commctrl.h>
#include <windowsx.h>

namespace html {
namespace {

constexpr UINT_PTR HookId = 0x48544D4C; // "HTML"

} // namespace

unsigned KeyboardShiftState()
{
    return ::GetKeyState(VK_SHIFT) < 0 ? ssShift : 0;
}

void THTMLRenderHook::SetControl(framework::TWinControl* control)
{
    if (FWindow) {
        ::RemoveWindowSubclass(FWindow, &THTMLRenderHook::Proc, HookId);
        FWindow = nullptr;
    }
    if (!control)
        return;
    FWindow = control->Handle();
    if (FWindow &&
        !::SetWindowSubclass(FWindow, &THTMLRenderHook::Proc, HookId, reinterpret_cast<DWORD_PTR>(this)))
        FWindow = nullptr;
}

LRESULT CALLBACK THTMLRenderHook::Proc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                       DWORD_PTR data)
{
    auto* self = reinterpret_cast<THTMLRenderHook*>(data);
    THTMLRender& render = self->FRender;
    const THTMLRect rect = render.CurData().FRect;
    switch (msg) {
    case WM_KEYDOWN:
        render.KeyDownTransfer(static_cast<uint16_t>(wparam), KeyboardShiftState());
        break;
    case WM_MOUSEMOVE:
        render.MouseMoveTransfer(KeyboardShiftState(), GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam), rect);
        break;
    case WM_LBUTTONUP:
        render.ClickTransfer(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam), rect);
        break;
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(wnd, &THTMLRenderHook::Proc, HookId);
        self->FWindow = nullptr;
        break;
    default:
        break;
    }
    return ::DefSubclassProc(wnd, msg, wparam, lparam);
}

} // namespace html
