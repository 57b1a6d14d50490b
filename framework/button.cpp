#include "framework/button.h"

namespace framework {

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner)
{
    SetTabStop(true);
    SetBounds(0, 0, 75, 25);
}

void TButton::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.ClassName = L"BUTTON";
    params.Native = true;
    params.Style = (params.Style & ~WS_CLIPCHILDREN) | BS_PUSHBUTTON;
}

void TButton::CommandNotify(WORD code)
{
    if (code == BN_CLICKED)
        Click();
}

} // namespace framework
