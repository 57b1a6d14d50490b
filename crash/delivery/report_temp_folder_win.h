#pragma once
// The folder where a report's files are prepared before they travel: the copies of the report
// file, the screenshot, the archives. It is emptied at start-up and when an exception's
// handling begins, so that nothing of an earlier report goes with a later one.

#include <string>

namespace crash {

// The system's temporary folder (the user's application-data folder when it names none),
// then "<executable name>.Vexcatch\"; both are created when missing.
std::wstring ReportTempFolder();

// Deletes the files in ReportTempFolder (read-only ones too); files that are in use stay.
void ClearReportTempFolder();

} // namespace crash
