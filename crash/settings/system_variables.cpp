#include "crash/settings/system_variables.h"

#include "base/module_path.h"

#include "base/utf_win.h"
#include "crash/core/sysinfo/os_description_win.h"
#include "crash/core/sysinfo/system_lists_win.h"

#include <shlobj.h>

#include <string>
#include <vector>

namespace crash {
namespace {

std::u16string Folder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    std::u16string folder;
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        folder = base::ToUtf16(path);
    if (folder.empty()) {
        // The executable's folder stands in for one the system cannot name.
        folder = ModulePath(nullptr);
        folder.erase(folder.find_last_of(u'\\') == std::u16string::npos ? 0 : folder.find_last_of(u'\\'));
    }
    while (!folder.empty() && folder.back() == u'\\')
        folder.pop_back();
    return folder;
}

std::u16string OsDescription()
{
    const std::string& text = OperatingSystem().description;
    return {text.begin(), text.end()};
}

} // namespace

std::u16string ModulePath(HMODULE module)
{
    return base::ToUtf16(base::ModulePath(module));
}

std::u16string ModuleFileName(HMODULE module)
{
    const std::u16string path = ModulePath(module);
    const size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

TTextVariables SystemTextVariables(HMODULE module, const std::u16string& moduleVersionVar,
                                   const std::u16string& appVersionVar)
{
    TTextVariables v;
    v.AppName = ModuleFileName(nullptr);
    v.ModName = ModuleFileName(module);
    v.AppVersion = [appVersionVar] {
        return appVersionVar.empty() ? FileVersionText(AsWide(ModulePath(nullptr))) : appVersionVar;
    };
    v.ModVersion = [module, moduleVersionVar] {
        return moduleVersionVar.empty() ? FileVersionText(AsWide(ModulePath(module))) : moduleVersionVar;
    };
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    v.Now = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
    v.ComputerName = [] {
        wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
        return ::GetComputerNameW(name, &size) ? base::ToUtf16(name) : std::u16string();
    };
    v.Os = &OsDescription;
    v.Desktop = [] { return Folder(CSIDL_DESKTOPDIRECTORY); };
    v.UserAppData = [] { return Folder(CSIDL_APPDATA); };
    v.CommonAppData = [] { return Folder(CSIDL_COMMON_APPDATA); };
    return v;
}

} // namespace crash
