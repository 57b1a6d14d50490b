#include "crash/ui/report_saving_win.h"

#include "base/crc32.h"
#include "base/hex.h"
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

void (*SaveStepHook)(TSaveStep step) = nullptr;

void Step(TSaveStep step)
{
    if (SaveStepHook)
        SaveStepHook(step);
}

// The file's whole contents; false when it is there but cannot be read (`exists` tells).
bool ReadAll(const std::u16string& path, std::string& content, bool& exists)
{
    const base::FileHandle file(::CreateFileW(Wide(path), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    exists = file || (::GetLastError() != ERROR_FILE_NOT_FOUND && ::GetLastError() != ERROR_PATH_NOT_FOUND);
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > 0x40000000)
        return false;
    content.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return content.empty() ||
           (::ReadFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &read, nullptr) &&
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

// Writes into the file itself: `content` at `offset` (the end of the file for -1), the file
// ending after it. Only where no new file can take its place.
bool WriteInPlace(const std::u16string& path, const std::string& content, LONGLONG offset)
{
    const base::FileHandle file(::CreateFileW(Wide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER at;
    at.QuadPart = offset < 0 ? 0 : offset;
    return file && ::SetFilePointerEx(file.Get(), at, nullptr, offset < 0 ? FILE_END : FILE_BEGIN) &&
           WriteAll(file.Get(), content) && ::SetEndOfFile(file.Get()) && ::FlushFileBuffers(file.Get());
}

// Serializes the saves of every process into one file: a named mutex for its path. A holder
// that hangs is waited for 10 seconds; then the report is saved all the same.
std::wstring LockName(const std::u16string& path)
{
    std::u16string lower = path;
    ::CharLowerBuffW(reinterpret_cast<wchar_t*>(lower.data()), static_cast<DWORD>(lower.size()));
    const std::string hex = base::HexText(base::Crc32(lower.data(), lower.size() * sizeof(char16_t)));
    return L"VexcatchReportFile" + std::wstring(hex.begin(), hex.end());
}

// Adds the report to the file: its new contents go to a new file beside it, which then takes
// its place, so that a process killed at any moment leaves the old file or the new one. Where
// no file can be made beside it, the file is written in place (appending when the contents
// before the report stay as they were); a file that cannot be read is only appended to.
// False when the report could not be written.
bool AddToFile(const std::u16string& path, const std::string& report, ReportSettings& settings)
{
    if (!ForceFolder(path))
        return false;
    const base::NamedMutexLock lock(LockName(path).c_str(), 10000);
    std::string old, content;
    bool exists = false;
    const bool read = ReadAll(path, old, exists);
    Step(TSaveStep::Read);
    bool appended = true; // the new contents are the old ones with something after them
    if (!settings.GetAppendBugReports()) {
        content = report + "\r\n\r\n";
        appended = !exists;
    } else if (read) {
        const bool exception = !ExtractHeaderField(std::u16string_view(base::Utf8ToUtf16(report)),
                                                   std::u16string_view(u"exception class"))
                                    .empty();
        TAppendRules rules;
        rules.MergeDuplicates = exception ? settings.GetNoDupExcepts() : settings.GetNoDupFreezes();
        rules.DupDef = exception ? settings.GetDupExceptDef() : settings.GetDupFreezeDef();
        rules.SizeLimit = settings.GetBugReportFileSize();
        content = AppendReport(old, report, rules);
        appended = content.compare(0, old.size(), old) == 0;
    } else if (exists) { // unreadable: nothing of it is lost, the report goes after it
        return WriteInPlace(path, report + "\r\n\r\n", -1);
    } else {
        content = report + "\r\n\r\n";
    }
    const std::u16string fresh = path + u".new";
    const bool written = WriteNew(fresh, content);
    Step(TSaveStep::NewWritten);
    if (written &&
        ::MoveFileExW(Wide(fresh), Wide(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Step(TSaveStep::Replaced);
        return true;
    }
    ::DeleteFileW(Wide(fresh));
    return appended ? WriteInPlace(path, content.substr(old.size()), -1) : WriteInPlace(path, content, 0);
}

bool AskForPath(HWND owner, ReportSettings& settings, std::u16string& path)
{
    if (LoaderLockBusy(BlockedWaitMs)) {
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

void SetSaveStepHook(void (*hook)(TSaveStep step))
{
    SaveStepHook = hook;
}

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

std::u16string ProgramPath(const std::u16string& path)
{
    std::u16string folder, root;
    ExecutablePlace(folder, root);
    return AbsolutePath(path, folder, root);
}

std::u16string UserReportFilePath(ReportSettings& settings, const std::u16string& setting)
{
    std::u16string exe = ModuleFileName(nullptr);
    exe = exe.substr(0, exe.find_last_of(u'.'));
    return settings.ExpandTextVariables(u"%userappdata%\\" + exe + u"\\" + setting);
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
            path = ProgramPath(setting);
        } else if (!AskForPath(owner, settings, path)) {
            return false;
        }
    }
    const std::string text = base::Utf16ToUtf8(report);
    bool written = AddToFile(path, text, settings);
    if (!written && fileName.empty() && setting.find(u'\\') == std::u16string::npos) {
        // The program's folder cannot be written: the user's application-data folder.
        path = UserReportFilePath(settings, setting);
        written = AddToFile(path, text, settings);
    }
    if (!written)
        return false;
    if (fileName.empty() && automatic)
        if (auto* report = dynamic_cast<IExceptionReportEx*>(&settings))
            report->SetMailWasSaved(true);
    return true;
}

} // namespace crash
