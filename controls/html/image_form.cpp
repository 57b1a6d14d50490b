#include "controls/html/image_form.h"

namespace html {

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

} // namespace html
