#include "app/temp_folder.h"

#include "base/utf_win.h"
#include "base/win_handle.h"

#include <windows.h>

#include <vector>

namespace app {

std::wstring GetLongPath(const std::wstring& path)
{
    DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::vector<wchar_t> full(size + 1);
    size = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    std::wstring rest(full.data(), size);

    std::wstring result;
    const size_t root = rest.find(L'\\');
    if (root != std::wstring::npos) {
        result = rest.substr(0, root + 1);
        rest.erase(0, root + 1);
    }
    do {
        const size_t slash = rest.find(L'\\');
        const bool more = slash != std::wstring::npos;
        const std::wstring component = more ? rest.substr(0, slash) : rest;
        // A wildcard would make the search match some other entry; such a component names
        // nothing that exists.
        WIN32_FIND_DATAW found;
        base::FindHandle search(component.find_first_of(L"*?") == std::wstring::npos
                                    ? ::FindFirstFileW((result + component).c_str(), &found)
                                    : INVALID_HANDLE_VALUE);
        if (!search || component.empty()) {
            result += rest;
            break;
        }
        result += found.cFileName;
        if (more)
            result += L'\\';
        rest.erase(0, more ? slash + 1 : rest.size());
    } while (!rest.empty());
    return result;
}

bool IsDirectory(const std::wstring& path)
{
    // Opening the entry follows links and junctions to their targets.
    base::FileHandle entry(::CreateFileW(path.c_str(), 0,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (entry && ::GetFileInformationByHandle(entry.Get(), &info))
        return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool FileExists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES && !IsDirectory(path);
}

std::wstring GetTempDir()
{
    // The whole expansion is used, also when it is longer than MAX_PATH.
    std::vector<wchar_t> buffer(MAX_PATH);
    DWORD length = ::ExpandEnvironmentStringsW(L"%temp%", buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length > buffer.size()) {
        buffer.resize(length);
        length = ::ExpandEnvironmentStringsW(L"%temp%", buffer.data(), static_cast<DWORD>(buffer.size()));
    }
    std::wstring folder(buffer.data());
    size_t first = 0, last = folder.size();
    while (first < last && folder[first] <= L' ')
        ++first;
    while (last > first && folder[last - 1] <= L' ')
        --last;
    folder = GetLongPath(folder.substr(first, last - first));
    if (folder.empty() || !IsDirectory(folder))
        return L"C:\\";
    if (folder.back() != L'\\')
        folder += L'\\';
    return folder;
}

std::wstring TargetPath(const std::wstring& tempDir, const std::string& url)
{
    const size_t slash = url.rfind('/');
    return tempDir + base::AnsiToWide(slash == std::string::npos ? url : url.substr(slash + 1));
}

} // namespace app
