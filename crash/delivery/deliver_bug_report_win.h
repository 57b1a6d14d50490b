#pragma once
// The delivery of a bug report: its texts, its files (the report or the whole report file,
// the screenshot, the settings' further attachments, archives several of them share) and the
// channels the settings turn on, tried in their fixed order until one delivers (the uploads,
// mail directly or through a server, the mail client, a mailto link); when none does, the user
// is told, unless the delivery is an automatic one that must not bother them.

#include "base/com_ptr.h"
#include "crash/imaging/vx_bitmap.h"
#include "crash/settings/report_settings_interfaces.h"

#include <windows.h>

#include <string>

namespace crash {

// 1 when the report was delivered (or handed to a thread of its own), 0 otherwise.
// `mayUseThread` without `background`: the delivery runs on a thread of its own (unless the
// process is blocked), whose handle goes to `thread` (or is closed when that is null).
// `settings` is normally the report object, which is then marked as sent.
int DeliverBugReport(const std::u16string& report, const base::ComPtr<IVxBitmap>& screenShot, HWND parent,
                     HANDLE* thread, bool background, const base::ComPtr<IReportSettings>& settings,
                     bool mayUseThread, bool hidden);

} // namespace crash
