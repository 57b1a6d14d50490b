#include "framework/edit.h"

namespace framework {

TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner)
{
    SetTabStop(true);
    SetColor(clWindow);
    SetBounds(0, 0, 121, 21);
}

void TEdit::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.ClassName = L"EDIT";
    params.Native = true;
    params.Style = (params.Style & ~WS_CLIPCHILDREN) | ES_AUTOHSCROLL;
    params.ExStyle |= WS_EX_CLIENTEDGE;
}

std::wstring TEdit::Text()
{
    if (!HandleAllocated())
        return Caption();
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(Handle())) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(Handle(), text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace framework
