#include "crash/delivery/report_temp_folder_win.h"

#include "base/win_handle.h"

#include <windows.h>

#include <shlobj.h>

namespace crash {

std::wstring ReportTempFolder()
{
    wchar_t temp[MAX_PATH + 1] = {};
    std::wstring folder;
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    if (n > 0 && n <= MAX_PATH) {
        folder = temp;
    } else {
        wchar_t appData[MAX_PATH] = {};
        if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData)))
            folder = appData;
    }
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    ::CreateDirectoryW(folder.c_str(), nullptr);
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring name = exe;
    if (const size_t slash = name.find_last_of(L"\\/"); slash != std::wstring::npos)
        name.erase(0, slash + 1);
    if (const size_t dot = name.find_last_of(L'.'); dot != std::wstring::npos)
        name.resize(dot);
    folder += name + L".Vexcatch\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void ClearReportTempFolder()
{
    const std::wstring folder = ReportTempFolder();
    WIN32_FIND_DATAW found;
    const base::FindHandle search(::FindFirstFileW((folder + L"*").c_str(), &found));
    if (!search)
        return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::wstring path = folder + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            ::SetFileAttributesW(path.c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
        ::DeleteFileW(path.c_str());
    } while (::FindNextFileW(search.Get(), &found));
}

} // namespace crash
