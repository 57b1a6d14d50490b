#include "framework/check_box.h"

namespace framework {

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner)
{
    SetTabStop(true);
    SetBounds(0, 0, 97, 17);
}

TRadioButton::TRadioButton(TComponent* AOwner) : TCheckBox(AOwner)
{
    SetBounds(0, 0, 113, 17);
}

void TCheckBox::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.ClassName = L"BUTTON";
    params.Native = true;
    params.Style = (params.Style & ~WS_CLIPCHILDREN) | ButtonStyle();
}

void TCheckBox::CreateWnd()
{
    TWinControl::CreateWnd();
    if (HandleAllocated())
        ::SendMessageW(Handle(), BM_SETCHECK, FChecked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TCheckBox::Checked()
{
    if (HandleAllocated())
        FChecked = ::SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
    return FChecked;
}

void TCheckBox::SetChecked(bool value)
{
    FChecked = value;
    if (HandleAllocated())
        ::SendMessageW(Handle(), BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TCheckBox::CommandNotify(WORD code)
{
    if (code == BN_CLICKED) {
        Checked();
        Click();
    }
}

} // namespace framework
