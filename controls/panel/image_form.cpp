#include "controls/panel/image_form.h"

namespace panel {

void TImageForm::SetControl(framework::TWinControl* control)
{
    FControl = control;
    FreeNotification(control);
}

void TImageForm::Notification(framework::TComponent* component)
{
    if (component == FControl)
        FControl = nullptr;
}

} // namespace panel
