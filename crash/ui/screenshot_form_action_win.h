#pragma once
// The screenshot form's handler ("Vexcatch.HandleScreenshotForm"): the report's screenshot in
// the form, a click opens it in the system's image editor (the shell's "edit" verb on
// "screenShot.bmp" in the temporary folder), an edited file comes back into the report, and
// the form's check box decides whether the screenshot goes with the report.

#include "crash/dialogs/assistant_win.h"

namespace crash {

void ScreenshotFormAction(TNVForm& form, TNVAction action, TNVItem* item, ReportSettings* exception);

} // namespace crash
