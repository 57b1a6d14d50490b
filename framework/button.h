#pragma once
// The native push button: takes the keyboard focus, runs OnClick when pressed.

#include "framework/control.h"

namespace framework {

class TButton : public TWinControl
{
public:
    explicit TButton(TComponent* AOwner);

protected:
    void CreateParams(TCreateParams& params) override;
    void CommandNotify(WORD code) override;
};

} // namespace framework
