#pragma once
// Attachments on disk: the temporary folder of the reports' files, and zip archives written
// from files.

#include <string>
#include <vector>

namespace crash {

// The system's temporary folder (the user's application-data folder when it names none),
// then "<executable name>.Vexcatch\"; both are created when missing.
std::wstring ReportTempFolder();

// Writes `files` into the archive `archive`, each under the name of the same position in
// `names` (its own file name where there is none). True when the archive was written
// completely; otherwise no archive is left behind.
bool WriteZipArchive(const std::wstring& archive, const std::vector<std::wstring>& files,
                     const std::vector<std::wstring>& names);

} // namespace crash
