#pragma once
// The native single-line edit box. Its text is the control's caption; what the user typed
// is read back from the window.

#include "framework/control.h"

namespace framework {

class TEdit : public TWinControl
{
public:
    explicit TEdit(TComponent* AOwner);
    std::wstring Text();
    void SetText(const std::wstring& text) { SetCaption(text); }

protected:
    void CreateParams(TCreateParams& params) override;
};

} // namespace framework
