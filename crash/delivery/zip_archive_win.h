#pragma once
// Zip archives written from files on disk.

#include <string>
#include <vector>

namespace crash {

// Writes `files` into the archive `archive`, each under the name of the same position in
// `names` (its own file name where there is none). True when the archive was written
// completely; otherwise no archive is left behind.
bool WriteZipArchive(const std::wstring& archive, const std::vector<std::wstring>& files,
                     const std::vector<std::wstring>& names);

} // namespace crash
