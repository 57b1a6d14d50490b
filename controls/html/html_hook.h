#pragma once
// The renderer's subscription to the messages of one windowed control (SetControl): a key
// press goes to KeyDownTransfer with the shift state, a mouse move to MouseMoveTransfer
// and a left-button release to ClickTransfer, each with the rectangle of the last paint.
// Windowless controls (the HTML label) get no such messages; they call the renderer from
// their own mouse handlers.

#include "controls/html/html_render.h"
#include "framework/control.h"

#include <windows.h>

namespace html {

// The shift state of the keyboard now, as the renderer's transfers take it.
unsigned KeyboardShiftState();

class THTMLRenderHook
{
public:
    explicit THTMLRenderHook(THTMLRender& render) : FRender(render) {}
    ~THTMLRenderHook() { SetControl(nullptr); }
    THTMLRenderHook(const THTMLRenderHook&) = delete;
    THTMLRenderHook& operator=(const THTMLRenderHook&) = delete;

    // Subscribes to `control`'s window (made when needed); null ends the subscription.
    void SetControl(framework::TWinControl* control);

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                 DWORD_PTR data);

    THTMLRender& FRender;
    HWND FWindow = nullptr;
};

} // namespace html
