#include "crash/ui/report_saving_win.h"

#include "base/utf.h"
#include "base/win_handle.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/pipeline/exception_report_interfaces.h"
#include "crash/core/report/report_lookup.h"
#include "crash/settings/system_variables.h"
#include "crash/ui/report_file.h"
#include "crash/ui/report_path.h"

#include <commdlg.h>
#include <shlobj.h>

#include <vector>

namespace crash {
namespace {

const wchar_t* Wide(const std::u16string& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string Folder(const std::u16string& path)
{
    const size_t slash = path.find_last_of(u'\\');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

// The executable's folder (with its "\") and the root of its drive or network share.
void ExecutablePlace(std::u16string& folder, std::u16string& root)
{
    const std::u16string exe = ModulePath(nullptr);
    folder = Folder(exe) + u"\\";
    if (exe.starts_with(u"\\\\")) {
        const size_t server = exe.find(u'\\', 2),
                     share = server == std::u16string::npos ? server : exe.find(u'\\', server + 1);
        root = share == std::u16string::npos ? exe + u"\\" : exe.substr(0, share + 1);
    } else {
        root = exe.substr(0, 3);
    }
}

base::FileHandle OpenReportFile(const std::u16string& path)
{
    if (!ForceFolder(path))
        return base::FileHandle();
    // Others may read, and the new file may replace this one, while it is held.
    return base::FileHandle(::CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadAll(HANDLE file, std::string& content)
{
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart > 0x40000000)
        return false;
    content.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return content.empty() ||
           (::ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &read, nullptr) &&
            read == content.size());
}

bool WriteAll(HANDLE file, const std::string& content)
{
    DWORD written = 0;
    return ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
           written == content.size();
}

bool WriteNew(const std::u16string& path, const std::string& content)
{
    const base::FileHandle file(
        ::CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && WriteAll(file.Get(), content) && ::FlushFileBuffers(file.Get());
}

// Writes `content` as the file's whole new contents: into a file beside it that then takes
// its place; where that cannot be done, into the held file itself.
bool Replace(const std::u16string& path, HANDLE held, const std::string& content)
{
    const std::u16string fresh = path + u".new";
    if (WriteNew(fresh, content) &&
        ::MoveFileExW(Wide(fresh), Wide(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    ::DeleteFileW(Wide(fresh));
    return ::SetFilePointer(held, 0, nullptr, FILE_BEGIN) == 0 && WriteAll(held, content) &&
           ::SetEndOfFile(held);
}

bool AskForPath(HWND owner, ReportSettings& settings, std::u16string& path)
{
    if (LoaderLockBusy(250)) {
        ::MessageBeep(0);
        return false;
    }
    const std::u16string setting = settings.GetBugReportFile();
    std::u16string folder, root, initialFolder;
    ExecutablePlace(folder, root);
    if (setting.find(u'\\') == std::u16string::npos) {
        wchar_t desktop[MAX_PATH] = {};
        if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop)))
            initialFolder = reinterpret_cast<const char16_t*>(desktop);
    } else {
        initialFolder = Folder(AbsolutePath(setting, folder, root)) + u"\\";
    }
    std::vector<wchar_t> name(MAX_PATH, 0);
    const std::u16string file = setting.substr(setting.find_last_of(u'\\') + 1);
    std::copy_n(file.begin(), std::min<size_t>(file.size(), MAX_PATH - 1), name.begin());
    const std::u16string title = settings.GetSaveBtnCaption();
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = L"*.txt\0*.txt\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = initialFolder.empty() ? nullptr : Wide(initialFolder);
    ofn.lpstrTitle = Wide(title);
    ofn.lpstrDefExt = L"txt";
    ofn.Flags = OFN_HIDEREADONLY | OFN_NOREADONLYRETURN;
    if (!::GetSaveFileNameW(&ofn))
        return false;
    path = reinterpret_cast<const char16_t*>(name.data());
    return true;
}

} // namespace

bool ForceFolder(const std::u16string& path)
{
    const std::u16string folder = Folder(path);
    if (folder.empty())
        return true;
    const DWORD attributes = ::GetFileAttributesW(Wide(folder));
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return attributes & FILE_ATTRIBUTE_DIRECTORY;
    if (folder.size() <= 3 || !ForceFolder(folder)) // a drive's root is there or not
        return false;
    return ::CreateDirectoryW(Wide(folder), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool SaveReportToFile(const std::u16string& fileName, const std::u16string& report, HWND owner,
                      ReportSettings& settings, bool automatic)
{
    if (report.empty())
        return false;
    const std::u16string setting = settings.GetBugReportFile();
    std::u16string path = fileName;
    if (path.empty()) {
        if (automatic) {
            std::u16string folder, root;
            ExecutablePlace(folder, root);
            path = AbsolutePath(setting, folder, root);
        } else if (!AskForPath(owner, settings, path)) {
            return false;
        }
    }
    base::FileHandle file = OpenReportFile(path);
    if (!file && setting.find(u'\\') == std::u16string::npos) {
        // The program's folder cannot be written: the user's application-data folder.
        std::u16string exe = ModuleFileName(nullptr);
        exe = exe.substr(0, exe.find_last_of(u'.'));
        path = settings.ExpandTextVariables(u"%userappdata%\\" + exe + u"\\" + setting);
        file = OpenReportFile(path);
    }
    if (!file)
        return false;
    std::string content;
    const std::string text = base::Utf16ToUtf8(report);
    bool written;
    if (settings.GetAppendBugReports() && ReadAll(file.Get(), content)) {
        const bool exception =
            !ExtractHeaderField(std::u16string_view(report), std::u16string_view(u"exception class")).empty();
        TAppendRules rules;
        rules.MergeDuplicates = exception ? settings.GetNoDupExcepts() : settings.GetNoDupFreezes();
        rules.DupDef = exception ? settings.GetDupExceptDef() : settings.GetDupFreezeDef();
        rules.SizeLimit = settings.GetBugReportFileSize();
        written = Replace(path, file.Get(), AppendReport(std::move(content), text, rules));
    } else {
        written = Replace(path, file.Get(), text + "\r\n\r\n");
    }
    if (fileName.empty() && automatic)
        if (auto* report = dynamic_cast<IExceptionReportEx*>(&settings))
            report->SetMailWasSaved(true);
    return written;
}

} // namespace crash
