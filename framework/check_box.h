#pragma once
// The native two-state buttons: the check box, and the radio button, which unchecks the
// radio buttons of the same parent when it is checked.

#include "framework/control.h"

namespace framework {

class TCheckBox : public TWinControl
{
public:
    explicit TCheckBox(TComponent* AOwner);
    bool Checked();
    void SetChecked(bool value);

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void CommandNotify(WORD code) override;
    // BS_AUTOCHECKBOX or BS_AUTORADIOBUTTON.
    virtual DWORD ButtonStyle() const { return BS_AUTOCHECKBOX; }

private:
    bool FChecked = false;
};

class TRadioButton : public TCheckBox
{
public:
    explicit TRadioButton(TComponent* AOwner);

protected:
    DWORD ButtonStyle() const override { return BS_AUTORADIOBUTTON; }
};

} // namespace framework
