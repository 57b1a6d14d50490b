#pragma once
// Printing a report: the print dialog over the owner window, then the text in 8-point
// Courier New laid out as print_layout.h says, one document named after the print button.

#include "crash/settings/report_settings.h"

#include <windows.h>

#include <string>

namespace crash {

// `settings` null: those of the caller's module. Nothing is reported: a cancelled dialog or
// a document that does not start prints nothing.
void PrintReportText(const std::u16string& text, HWND owner, ReportSettings* settings);

} // namespace crash
