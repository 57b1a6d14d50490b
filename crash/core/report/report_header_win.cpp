#include "crash/core/report/report_header_win.h"

#include "base/hex.h"
#include "base/proc_address.h"
#include "base/seh_frame.h"
#include "base/utf.h"
#include "base/win_handle.h"
#include "crash/core/intercept/startup_win.h"
#include "crash/core/report/report_plugins_win.h"
#include "crash/core/sysinfo/os_description_win.h"
#include "crash/core/sysinfo/system_lists_win.h"
#include "crash/settings/module_settings.h"
#include "crash/settings/system_variables.h"

#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <string>

namespace crash {
namespace {

// The user's decimal separator, for the sizes.
char16_t DecimalSeparator()
{
    wchar_t separator[4] = L".";
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 4);
    return separator[0] ? static_cast<char16_t>(separator[0]) : u'.';
}

constexpr char16_t ReporterVersion[] = u"4.0.12";

volatile LONG ExceptionNumber = 0;

std::u16string Wide(const wchar_t* text)
{
    return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}

std::u16string Ascii(const std::string& text)
{
    return base::Utf8ToUtf16(text);
}

std::u16string RegistryText(HKEY root, const wchar_t* key, const wchar_t* value)
{
    wchar_t text[512] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (::RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return {};
    return Wide(text);
}

std::u16string ComputerName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return ::GetComputerNameW(name, &size) ? Wide(name) : std::u16string();
}

std::u16string WtsClientName()
{
    if (!::GetSystemMetrics(SM_REMOTESESSION))
        return {};
    const base::Module wts(::LoadLibraryW(L"wtsapi32.dll"));
    using TQuery = BOOL(WINAPI*)(HANDLE, DWORD, int, LPWSTR*, DWORD*);
    using TFree = void(WINAPI*)(void*);
    const auto query = base::ProcAddress<TQuery>(wts.Get(), "WTSQuerySessionInformationW");
    const auto free = base::ProcAddress<TFree>(wts.Get(), "WTSFreeMemory");
    LPWSTR name = nullptr;
    DWORD size = 0;
    if (!query || !free || !query(nullptr, static_cast<DWORD>(-1), 10, &name, &size))
        return {};
    std::u16string client = Wide(name);
    free(name);
    return client;
}

std::u16string UserName()
{
    wchar_t name[257];
    DWORD size = 257;
    if (!::GetUserNameW(name, &size))
        return {};
    std::u16string user = Wide(name);
    using TCheck = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
    const auto check = base::ProcAddress<TCheck>(::GetModuleHandleW(L"advapi32.dll"), "CheckTokenMembership");
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    BOOL member = FALSE;
    if (check && ::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                            0, 0, 0, 0, 0, &sid)) {
        const base::Sid admins(sid);
        if (check(nullptr, admins.Get(), &member) && member)
            user += u"  <admin>";
    }
    return user;
}

std::u16string RegisteredOwner()
{
    const wchar_t* key = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
    const std::u16string owner = RegistryText(HKEY_LOCAL_MACHINE, key, L"RegisteredOwner");
    const std::u16string organization = RegistryText(HKEY_LOCAL_MACHINE, key, L"RegisteredOrganization");
    return organization.empty() || owner.empty() ? owner : owner + u" / " + organization;
}

std::u16string Processor()
{
    std::u16string name = RegistryText(
        HKEY_LOCAL_MACHINE, L"hardware\\description\\system\\centralProcessor\\0", L"ProcessorNameString");
    for (size_t at; (at = name.find(u"  ")) != std::u16string::npos;)
        name.erase(at, 1);
    while (!name.empty() && name.front() == u' ')
        name.erase(0, 1);
    while (!name.empty() && name.back() == u' ')
        name.pop_back();
    return name;
}

std::u16string PhysicalMemory()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!::GlobalMemoryStatusEx(&status))
        return {};
    const auto mb = [](DWORDLONG bytes) { return Ascii(std::to_string((bytes + (1 << 19)) >> 20)); };
    return mb(status.ullAvailPhys) + u"/" + mb(status.ullTotalPhys) + u" MB (free/total)";
}

std::u16string DriveSpace(wchar_t drive)
{
    const wchar_t root[] = {drive, L':', L'\\', 0};
    ULARGE_INTEGER free{};
    if (!::GetDiskFreeSpaceExW(root, &free, nullptr, nullptr))
        return {};
    return u"(" + std::u16string(1, static_cast<char16_t>(drive)) + u":) " +
           SizeText(free.QuadPart, DecimalSeparator());
}

std::u16string FreeDiskSpace()
{
    wchar_t windows[MAX_PATH], exe[MAX_PATH];
    if (!::GetWindowsDirectoryW(windows, MAX_PATH) || !::GetModuleFileNameW(nullptr, exe, MAX_PATH))
        return {};
    std::u16string text = DriveSpace(windows[0]);
    if (exe[1] == L':' && ::towupper(exe[0]) != ::towupper(windows[0]))
        text += u" " + DriveSpace(exe[0]);
    return text;
}

std::u16string DisplayMode()
{
    const base::WindowDc screen(nullptr);
    const HDC dc = screen.Get();
    if (!dc)
        return {};
    const int width = ::GetDeviceCaps(dc, HORZRES), height = ::GetDeviceCaps(dc, VERTRES),
              bits = ::GetDeviceCaps(dc, BITSPIXEL) * ::GetDeviceCaps(dc, PLANES);
    return Ascii(std::to_string(width) + "x" + std::to_string(height) + ", " + std::to_string(bits) + " bit");
}

// The committed memory of no module image, and the largest free region.
void AddressSpace(uint64_t& allocated, uint64_t& largestFree)
{
    allocated = largestFree = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const uint8_t* at = nullptr; ::VirtualQuery(at, &info, sizeof info) == sizeof info;) {
        if (info.State == MEM_COMMIT && info.Type != MEM_IMAGE)
            allocated += info.RegionSize;
        if (info.State == MEM_FREE)
            largestFree = std::max<uint64_t>(largestFree, info.RegionSize);
        const uint8_t* next = static_cast<const uint8_t*>(info.BaseAddress) + info.RegionSize;
        if (next <= at)
            break;
        at = next;
    }
}

std::u16string CommandLine()
{
    int count = 0;
    const base::LocalMemory arguments(::CommandLineToArgvW(::GetCommandLineW(), &count));
    return arguments && count > 1 ? Wide(::GetCommandLineW()) : std::u16string();
}

std::u16string FileDateTime(HMODULE module)
{
    wchar_t path[MAX_PATH];
    WIN32_FILE_ATTRIBUTE_DATA data;
    FILETIME local;
    SYSTEMTIME t;
    if (!::GetModuleFileNameW(module, path, MAX_PATH) ||
        !::GetFileAttributesExW(path, GetFileExInfoStandard, &data) ||
        !::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !::FileTimeToSystemTime(&local, &t))
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute);
    return Ascii(text);
}

uint8_t LinkerMajorVersion(HMODULE module)
{
    const auto* base = reinterpret_cast<const uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew)
        ->OptionalHeader.MajorLinkerVersion;
}

} // namespace

TReportHeader BuildReportHeader(ExceptionReport& report)
{
    TReportHeader header;
    const auto add = [&](const char16_t* name, const std::function<std::u16string()>& value) {
        std::u16string text;
        base::Guarded([&] { text = value(); });
        if (!text.empty())
            header.Items.emplace_back(name, std::move(text));
    };
    const bool frozen = report.GetExceptType() == etFrozen;
    const HMODULE exe = ::GetModuleHandleW(nullptr), reporter = ReporterModule();

    add(u"date/time", [&] {
        const SYSTEMTIME t = report.GetTime();
        return DateTimeText({t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds});
    });
    add(u"computer name", &ComputerName);
    add(u"wts client name", &WtsClientName);
    add(u"user name", &UserName);
    add(u"registered owner", &RegisteredOwner);
    add(u"operating system", [] {
        const TOS& os = OperatingSystem();
        return Ascii(os.description + " build " + std::to_string(os.build));
    });
    add(u"system language", [] {
        wchar_t language[128];
        return ::GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SLANGUAGE, language, 128) ? Wide(language)
                                                                                        : std::u16string();
    });
    add(u"system up time", [] {
        LARGE_INTEGER counter, frequency;
        ::QueryPerformanceCounter(&counter);
        ::QueryPerformanceFrequency(&frequency);
        return DurationText(counter.QuadPart / frequency.QuadPart);
    });
    add(u"program up time", [] {
        LARGE_INTEGER counter, frequency;
        ::QueryPerformanceCounter(&counter);
        ::QueryPerformanceFrequency(&frequency);
        const double now =
            static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
        if (ProcessStartMs() > 0)
            return UpTimeText(static_cast<uint64_t>(std::max(0.0, now - ProcessStartMs())));
        // Without the reporter's start time: the process's creation.
        FILETIME created, exited, kernel, user, current;
        if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user))
            return std::u16string();
        ::GetSystemTimeAsFileTime(&current);
        const auto ticks = [](const FILETIME& f) {
            return (uint64_t{f.dwHighDateTime} << 32) | f.dwLowDateTime;
        };
        return UpTimeText(ticks(current) > ticks(created) ? (ticks(current) - ticks(created)) / 10000 : 0);
    });
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    add(system.dwNumberOfProcessors > 1 ? u"processors" : u"processor", [&] {
        const std::u16string name = Processor();
        return system.dwNumberOfProcessors > 1 && !name.empty()
                   ? Ascii(std::to_string(system.dwNumberOfProcessors)) + u"x " + name
                   : name;
    });
    add(u"physical memory", &PhysicalMemory);
    add(u"free disk space", &FreeDiskSpace);
    add(u"display mode", &DisplayMode);
    add(u"process id", [] { return Ascii(base::HexText(::GetCurrentProcessId())); });
    uint64_t allocated = 0, largestFree = 0;
    base::Guarded([&] { AddressSpace(allocated, largestFree); });
    add(u"allocated memory",
        [&] { return allocated ? SizeText(allocated, DecimalSeparator()) : std::u16string(); });
    add(u"largest free block",
        [&] { return largestFree ? SizeText(largestFree, DecimalSeparator()) : std::u16string(); });
    add(u"command line", &CommandLine);
    add(u"executable", [&] { return ModuleFileName(exe); });
    add(u"current module", [&] { return reporter != exe ? ModuleFileName(reporter) : std::u16string(); });
    add(reporter != exe ? u"module date/time" : u"exec. date/time",
        [&] { return FileDateTime(reporter != exe ? reporter : exe); });
    add(u"version", [&] {
        const std::u16string version = report.ExpandTextVariables(u"%modversion%");
        return version == u"?" ? std::u16string() : version; // "?": the module has no version
    });
    add(u"bde version", [] {
        wchar_t path[MAX_PATH];
        const HMODULE bde = ::GetModuleHandleW(L"idapi32.dll");
        return bde && ::GetModuleFileNameW(bde, path, MAX_PATH) ? FileVersionText(path) : std::u16string();
    });
    add(u"compiled with", [&] { return LinkerMajorVersion(reporter) == 2 ? u"Delphi XE" : u"BCB XE"; });
    add(u"Vexcatch version", [] { return ReporterVersion; });
    for (const TReportPlugin& plugin : ListedPlugins(report, false))
        add(plugin.Name.c_str(), [&] { return PluginText(plugin, &report); });
    header.AddIndex = static_cast<int>(header.Items.size());
    add(u"callstack crc", [] { return CalculatedSoon; });
    add(u"exception number", [] { return Ascii(std::to_string(::InterlockedIncrement(&ExceptionNumber))); });
    const std::u16string exceptClass = frozen ? std::u16string() : report.GetExceptClass();
    if (!frozen)
        add(u"exception class", [&] { return exceptClass.empty() ? u"Unknown" : exceptClass; });
    add(u"exception message", [&] {
        if (frozen)
            return OneLine(report.ExpandTextVariables(report.GetFrozenMsg()));
        const std::u16string message = report.GetExceptMessage();
        if (message == exceptClass)
            return std::u16string();
        return OneLine(ExceptionMessageText(message));
    });
    return header;
}

} // namespace crash
