#include "crash/core/pipeline/process_end_win.h"

#include "base/win_handle.h"
#include "crash/core/intercept/restart_handshake_win.h"
#include "crash/core/intercept/startup_win.h"
#include "crash/core/pipeline/exception_report_interfaces.h"

#include <string>

namespace crash {
namespace {

constexpr UINT RestartExitCode = 2;
constexpr UINT AbnormalExitCode = 3;

[[noreturn]] void End(UINT code)
{
    ::TerminateProcess(::GetCurrentProcess(), code);
    for (;;)
        ::Sleep(INFINITE);
}

} // namespace

TRecentExceptions& RecentExceptions()
{
    // Touched by the handling thread only (one report at a time).
    static TRecentExceptions ring = [] {
        const std::optional<TExceptionRing>& inherited = InheritedExceptionRing();
        return inherited ? TRecentExceptions::FromBytes(*inherited) : TRecentExceptions();
    }();
    return ring;
}

uint64_t SecondsNow()
{
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return ((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000000;
}

UINT ExitCodeAfter(IExceptionReport& report)
{
    const DWORD code = report.GetExceptionRecord().ExceptionCode;
    return code ? code : AbnormalExitCode;
}

void TerminateAfterReport(IExceptionReport& report)
{
    End(ExitCodeAfter(report));
}

void RestartProcess()
{
    std::wstring command = ::GetCommandLineW();
    wchar_t folder[MAX_PATH];
    const DWORD n = ::GetCurrentDirectoryW(MAX_PATH, folder);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                         n && n < MAX_PATH ? folder : nullptr, &si, &pi)) {
        const base::KernelHandle process(pi.hProcess), thread(pi.hThread);
        HandOverRestart(process.Get(), pi.dwProcessId, RecentExceptions().Bytes());
        ::ResumeThread(thread.Get());
    }
    End(RestartExitCode);
}

} // namespace crash
