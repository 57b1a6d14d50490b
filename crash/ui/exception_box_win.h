#pragma once
// The crash dialog ("VexcatchWndClass"): a top-most window that tells the user the program
// failed and offers the report's actions as buttons (send, save, print, show the report,
// continue, restart, close), with a countdown on the button the AutoContinue, AutoRestart
// and AutoClose settings pick, and on request the whole report in tabs. It does no reporting
// work itself: every button calls the report object, which saves, sends, continues or ends.
// It runs on the thread that runs the pipeline; other threads only post to it.

#include "crash/core/pipeline/pipeline_services.h"

#include <windows.h>

namespace crash {

// Shows the dialog for `report` as `show` asks (the full box; the full box with a details
// button; the simple box) and returns when it has closed. When the user asked to see the
// report, it opens again as a full box with the report shown.
void ShowCrashDialog(IExceptionReport& report, ShowSetting show);

} // namespace crash
