#pragma once
// Controls: TControl (position, size, visibility, alignment, anchors, colour, font,
// caption), TGraphicControl (windowless, painted on its parent's surface) and TWinControl
// (a window of its own, the parent of other controls).
//
// Stacking follows creation order: a windowed control created later lies above the ones
// created before it, and windowless controls are painted on their parent below every
// windowed child of that parent.

#include "base/win_handle.h"
#include "framework/graphics.h"
#include "framework/object.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace framework {

class TWinControl;
class TPopupMenu;

enum TAlign
{
    alNone,
    alTop,
    alBottom,
    alLeft,
    alRight,
    alClient
};
enum TAnchorKind : unsigned
{
    akLeft = 1,
    akTop = 2,
    akRight = 4,
    akBottom = 8
};
using TAnchors = unsigned;

// Mouse cursors: crDefault leaves the window class's cursor.
enum TCursor
{
    crDefault,
    crArrow,
    crHandPoint,
    crIBeam,
    crHourGlass
};
HCURSOR CursorHandle(TCursor cursor);

struct TMessage
{
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

class TControl : public TComponent
{
public:
    explicit TControl(TComponent* AOwner);
    ~TControl() override;

    TWinControl* Parent() const noexcept { return FParent; }
    virtual void SetParent(TWinControl* parent);

    int Left() const noexcept { return FLeft; }
    int Top() const noexcept { return FTop; }
    int Width() const noexcept { return FWidth; }
    int Height() const noexcept { return FHeight; }
    void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
    void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
    void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
    void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }
    virtual void SetBounds(int left, int top, int width, int height);
    RECT BoundsRect() const noexcept { return {FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }
    virtual RECT ClientRect() const { return {0, 0, FWidth, FHeight}; }

    TAlign Align() const noexcept { return FAlign; }
    void SetAlign(TAlign align);
    TAnchors Anchors() const noexcept { return FAnchors; }
    void SetAnchors(TAnchors anchors);

    bool Visible() const noexcept { return FVisible; }
    void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible itself and on every parent up to the top-level window.
    bool Showing() const;

    bool Enabled() const noexcept { return FEnabled; }
    void SetEnabled(bool enabled);

    TColor Color() const noexcept { return FColor; }
    void SetColor(TColor color);
    bool ParentColor() const noexcept { return FParentColor; }
    void SetParentColor(bool value);

    // The control's font. Until the font is changed through this object the control
    // follows its parent's font.
    TFont& Font() noexcept { return FFont; }
    const TFont& Font() const noexcept { return FFont; }
    bool ParentFont() const noexcept { return FParentFont; }
    void SetParentFont(bool value);

    const std::wstring& Caption() const noexcept { return FCaption; }
    void SetCaption(const std::wstring& caption);

    // The cursor shown while the mouse is over the control.
    TCursor Cursor() const noexcept { return FCursor; }
    void SetCursor(TCursor cursor);

    // The menu a right click (or the context-menu key) shows over the control.
    TPopupMenu* PopupMenu() const noexcept { return FPopupMenu; }
    void SetPopupMenu(TPopupMenu* menu);
    // Raised before the popup menu shows; setting Handled shows none. The position is in
    // client coordinates, (-1, -1) when the request came from the keyboard.
    std::function<void(TObject* Sender, POINT MousePos, bool& Handled)> OnContextPopup;
    // The mouse moved over the control (client coordinates).
    std::function<void(TObject* Sender, int X, int Y)> OnMouseMove;

    TNotifyEvent OnClick;

    virtual bool IsWindowed() const noexcept { return false; }
    virtual void Invalidate();
    // Runs the click behaviour (OnClick) as a mouse click would.
    virtual void Click();

    // Paints the control's own surface into dc at the dc's origin (windowless controls).
    virtual void Paint(TCanvas& canvas);

protected:
    virtual void BoundsChanged() {}
    virtual void FontChanged();
    virtual void ColorChanged() { Invalidate(); }
    virtual void CaptionChanged() { Invalidate(); }
    virtual void VisibleChanged();
    virtual void EnabledChanged() { Invalidate(); }
    virtual void MouseDown(int, int) {}
    virtual void MouseMove(int, int) {}
    virtual void MouseUp(int, int) {}
    // The mouse has left the control (windowless controls; see TWinControl::SetHoverControl).
    virtual void MouseLeave() {}
    // A context-menu request at `pos` (client coordinates, or -1, -1 from the keyboard):
    // OnContextPopup, then the popup menu when it pops up automatically. True when handled.
    virtual bool ContextPopup(POINT pos);
    void Notification(TComponent* component) override;
    // The top-level window that shows this control, or null.
    HWND ParentWindow() const;

    // Called by the parent when its font or colour changed.
    void ParentFontChanged();
    void ParentColorChanged();
    void RecordAnchorGaps();

private:
    friend class TWinControl;

    TWinControl* FParent = nullptr;
    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    int FRightGap = 0, FBottomGap = 0;
    TAlign FAlign = alNone;
    TAnchors FAnchors = akLeft | akTop;
    bool FVisible = true;
    bool FEnabled = true;
    TColor FColor = clBtnFace;
    bool FParentColor = false;
    TFont FFont;
    bool FParentFont = true;
    bool FFollowingParent = false;
    std::wstring FCaption;
    TCursor FCursor = crDefault;
    TPopupMenu* FPopupMenu = nullptr;
};

class TGraphicControl : public TControl
{
public:
    using TControl::TControl;
};

// What a windowed control asks Windows for when its window is created.
struct TCreateParams
{
    const wchar_t* ClassName = L"LumigateControl";
    // Set for controls built on a native window class (BUTTON, ...): the window is
    // created from that class and subclassed.
    bool Native = false;
    DWORD Style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    DWORD ExStyle = 0;
    HWND WndParent = nullptr;
    int X = 0, Y = 0, Width = 0, Height = 0;
};

class TWinControl : public TControl
{
public:
    explicit TWinControl(TComponent* AOwner);
    ~TWinControl() override;

    void SetParent(TWinControl* parent) override;
    void SetBounds(int left, int top, int width, int height) override;
    bool IsWindowed() const noexcept override { return true; }
    void Invalidate() override;

    // The window, created (with the windows of all children) on first use.
    HWND Handle();
    bool HandleAllocated() const noexcept { return FHandle.Valid(); }
    void HandleNeeded() { Handle(); }

    // Child controls in creation order.
    const std::vector<TControl*>& Controls() const noexcept { return FControls; }

    bool TabStop() const noexcept { return FTabStop; }
    void SetTabStop(bool value);
    void SetFocus();
    bool Focused() const;

    // Paints this control, its windowless children and, recursively, its windowed
    // children into dc with this control's top left corner at the dc's origin.
    void PaintTo(HDC dc);
    // Paints only this control's own surface and its windowless children: what a child
    // that paints nothing at some point shows of its parent there.
    void PaintSurfaceTo(HDC dc);

    // Lays out the children with an alignment and moves anchored ones after a resize.
    void AlignControls();
    // The part of the client area that aligned children fill.
    virtual RECT AlignRect() const { return ClientRect(); }

protected:
    // The visible, enabled windowless child at (x, y) of the client area, or null.
    TControl* ControlAtPoint(int x, int y) const;
    virtual void CreateParams(TCreateParams& params);
    virtual void CreateWnd();
    void DestroyHandle();
    // Handles a message of this control's window; the default passes it on.
    virtual void WndProc(TMessage& message);
    void DefaultHandler(TMessage& message);
    // Paints the background and the control's own content; windowless children follow.
    virtual void PaintWindow(TCanvas& canvas);
    // A notification (WM_COMMAND) that the parent received from this control's window.
    virtual void CommandNotify(WORD) {}
    void FontChanged() override;
    void ColorChanged() override;
    void CaptionChanged() override;
    void VisibleChanged() override;
    void EnabledChanged() override;
    // Called when the client area changed size, before the children are re-laid out.
    virtual void Resized() {}

private:
    friend class TControl;
    static LRESULT CALLBACK StdWndProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam);
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);
    bool WmPaint(TMessage& m);
    bool WmCommand(TMessage& m);
    void WmCtlColor(TMessage& m);
    bool WmContextMenu(TMessage& m);
    bool WmSetCursor(TMessage& m);
    bool WmMouse(TMessage& m);
    void SetHoverControl(TControl* control);
    void PaintHandler(HDC target, const RECT* update);
    void PaintControls(TCanvas& canvas);
    void SyncBoundsFromWindow();
    void SendFont();
    void ChildWindowCreated(TWinControl* child);
    void ClientResized(int oldWidth, int oldHeight);

    base::Window FHandle;
    WNDPROC FDefProc = nullptr;
    // The off-screen bitmap of the double buffer, kept between paints while the size holds.
    base::GdiObject FBuffer;
    SIZE FBufferSize{};
    std::vector<TControl*> FControls;
    bool FTabStop = false;
    bool FCreating = false;
    TControl* FMouseControl = nullptr;
    TControl* FHoverControl = nullptr; // the windowless child the mouse is over
    // The brush behind native children (WM_CTLCOLOR...), in this control's colour.
    TBrush FChildBrush;

    // The window property that leads from a window to its control.
    static constexpr const wchar_t* ControlProperty = L"LumigateControl";
};

} // namespace framework
