#pragma once
// Where the installer is stored: the user's temporary folder with the long names of its
// components, and the target path formed from the installer URL's last segment.

#include <string>

namespace app {

// The path made absolute, with the long name of each component that exists; the rest of
// the path, from the first component that doesn't exist, stays as it was.
std::wstring GetLongPath(const std::wstring& path);

// "%temp%" expanded, trimmed, with long names and a trailing backslash; "C:\" when that
// names no existing directory.
std::wstring GetTempDir();

// The temporary folder followed by the URL's text after its last "/" (all of it without one).
std::wstring TargetPath(const std::wstring& tempDir, const std::string& url);

// Whether path names an existing directory, following links to their targets.
bool IsDirectory(const std::wstring& path);
// Whether a file exists at path; a directory (or a link to one) is not a file.
bool FileExists(const std::wstring& path);

} // namespace app
