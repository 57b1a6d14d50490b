#pragma once
// Forms: top-level windows with a border style, a client size, a start position and a
// creation handler that runs once all members of the form exist.

#include "framework/control.h"

namespace framework {

enum TFormBorderStyle
{
    bsNone,
    bsSingle,
    bsSizeable,
    bsDialog
};
enum TPosition
{
    poDesigned,
    poScreenCenter
};

class TForm : public TWinControl
{
public:
    explicit TForm(TComponent* AOwner);

    TFormBorderStyle BorderStyle() const noexcept { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle style);
    TPosition Position() const noexcept { return FPosition; }
    void SetPosition(TPosition position) { FPosition = position; }

    RECT ClientRect() const override;
    int ClientWidth() const { return ClientRect().right; }
    int ClientHeight() const { return ClientRect().bottom; }
    void SetClientSize(int width, int height);

    // Runs once the form's members exist (see TApplication::CreateForm).
    TNotifyEvent OnCreate;
    TNotifyEvent OnClose;

    void Close();
    // Shows and activates the window; centred on the screen on first show for poScreenCenter.
    void ShowForm();

    // The control that takes the keyboard focus when the form is activated; by default the
    // first control in the tab order.
    TWinControl* ActiveControl() const noexcept { return FActiveControl; }
    void SetActiveControl(TWinControl* control) { FActiveControl = control; }

    void DoCreate();

protected:
    void CreateParams(TCreateParams& params) override;
    void WndProc(TMessage& message) override;
    void VisibleChanged() override;

private:
    DWORD WindowStyle() const;
    DWORD WindowExStyle() const;
    void FocusFirstControl();

    TFormBorderStyle FBorderStyle = bsSizeable;
    TPosition FPosition = poDesigned;
    int FClientWidth = 0, FClientHeight = 0;
    bool FPlaced = false;
    TWinControl* FActiveControl = nullptr;
    HWND FLastFocus = nullptr;
};

} // namespace framework
