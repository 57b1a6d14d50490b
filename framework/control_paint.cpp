// Painting of windowed controls: the double-buffered paint of a window, the windowless
// children on its surface, and painting into any device context.

#include "framework/control.h"

namespace framework {

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

} // namespace framework
