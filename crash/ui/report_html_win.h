#pragma once
// The HTML page of a report with the texts of its settings (report_html.h), as the CGI output
// of the pipeline and the web-server extension's answer use it.

#include "crash/settings/report_settings.h"

#include <string>

namespace crash {

std::u16string ReportHtmlPageOf(ReportSettings& settings, const std::u16string& report);

} // namespace crash
