#pragma once
// Which settings answer for a module or a code address, when several modules of the process
// carry settings blocks (a module whose block is not linked in, "NoSettings", is passed over
// when another module's settings are searched).

#include "crash/settings/report_settings.h"

#include <windows.h>

#include <memory>

namespace crash {

// The module that holds this crash reporter's code.
HMODULE ReporterModule();
// Whether more than one module of the process has registered a settings block.
bool ReporterShared();

// The settings of `module` (null: the executable), or the linked-in settings found instead.
base::ComPtr<ReportSettings> ModuleSettingsFor(HMODULE module);
// The settings of the module whose image holds `codeAddress`, else the linked-in ones,
// else those of the reporter's module.
base::ComPtr<ReportSettings> CallerModuleSettings(const void* codeAddress);
// The same for the return address `depth` frames up the caller's chain (0: the caller's
// own code), and for the caller of this function.
base::ComPtr<ReportSettings> CallerModuleSettingsAtDepth(unsigned depth);
base::ComPtr<ReportSettings> CallerModuleSettings();
// The first linked-in settings: the reporter's module, then every module image of the
// process in address order.
base::ComPtr<ReportSettings> FindLinkedSettings();

} // namespace crash
