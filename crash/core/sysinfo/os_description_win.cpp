#include "crash/core/sysinfo/os_description_win.h"

#include "base/proc_address.h"

#include <windows.h>

namespace crash {
namespace {

std::string AsciiOf(const wchar_t* text)
{
    std::string ascii;
    for (; *text; ++text)
        ascii += *text < 0x80 ? static_cast<char>(*text) : '?';
    return ascii;
}

template <class F> F Proc(const wchar_t* module, const char* name)
{
    return base::ProcAddress<F>(::GetModuleHandleW(module), name);
}

} // namespace

TOsVersionData ReadOsVersionData()
{
    TOsVersionData d;
    OSVERSIONINFOEXW v{};
    v.dwOSVersionInfoSize = sizeof v;
    // RtlGetVersion tells the truth where GetVersionEx would answer for a compatibility
    // mode (an exe without a manifest sees Windows 8 on every later Windows).
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    bool extended = false, read = false;
    if (auto rtl = Proc<RtlGetVersion>(L"ntdll.dll", "RtlGetVersion"))
        read = extended = rtl(&v) == 0;
    if (!read)
        read = extended = ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v)) != FALSE;
    if (!read) {
        v.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        read = ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v)) != FALSE;
    }
    if (!read) {
        // Windows 9x has only the ANSI function.
        OSVERSIONINFOA a{};
        a.dwOSVersionInfoSize = sizeof a;
        if (::GetVersionExA(&a)) {
            d.PlatformId = a.dwPlatformId;
            d.Major = a.dwMajorVersion;
            d.Minor = a.dwMinorVersion;
            d.Build = a.dwBuildNumber & 0xFFFF;
            d.ServicePack.assign(a.szCSDVersion, strnlen(a.szCSDVersion, sizeof a.szCSDVersion));
        }
        return d;
    }
    d.PlatformId = v.dwPlatformId;
    d.Major = v.dwMajorVersion;
    d.Minor = v.dwMinorVersion;
    d.Build = v.dwBuildNumber;
    v.szCSDVersion[127] = 0;
    d.ServicePack = AsciiOf(v.szCSDVersion);
    d.Extended = extended;
    if (extended) {
        d.ServicePackMajor = v.wServicePackMajor;
        d.Workstation = v.wProductType == VER_NT_WORKSTATION;
    }
    d.R2 = ::GetSystemMetrics(SM_SERVERR2) != 0;
    d.TabletPc = ::GetSystemMetrics(SM_TABLETPC) != 0;
    d.Starter = ::GetSystemMetrics(SM_STARTER) != 0;
    d.MediaCenter = ::GetSystemMetrics(SM_MEDIACENTER) != 0;
    using NativeSystemInfo = void(WINAPI*)(SYSTEM_INFO*);
    if (auto native = Proc<NativeSystemInfo>(L"kernel32.dll", "GetNativeSystemInfo")) {
        SYSTEM_INFO info{};
        native(&info);
        d.NativeAmd64 = info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
    }
    return d;
}

const TOS& OperatingSystem()
{
    static const TOS os = DescribeOs(ReadOsVersionData());
    return os;
}

} // namespace crash
