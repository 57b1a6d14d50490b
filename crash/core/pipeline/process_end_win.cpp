#include "crash/core/pipeline/process_end_win.h"

#include "base/srw_lock.h"
#include "base/win_handle.h"
#include "crash/core/intercept/restart_handshake_win.h"
#include "crash/core/intercept/startup_win.h"
#include "crash/core/pipeline/exception_report_interfaces.h"

#include <mutex>
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

// Two pipelines may run at once (one on a catching thread that holds the loader lock).
base::SrwLock RingLock;

TRecentExceptions& Ring()
{
    static TRecentExceptions ring = [] {
        const std::optional<TExceptionRing>& inherited = InheritedExceptionRing();
        return inherited ? TRecentExceptions::FromBytes(*inherited) : TRecentExceptions();
    }();
    return ring;
}

// Now, in whole seconds since 1601 (UTC).
uint64_t SecondsNow()
{
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return ((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000000;
}

} // namespace

void AddRecentException()
{
    const std::lock_guard lock(RingLock);
    Ring().Add(SecondsNow());
}

bool RecentExceptionsSay(uint32_t setting)
{
    const std::lock_guard lock(RingLock);
    return Ring().Says(setting, SecondsNow());
}

void TerminateAfterReport(IExceptionReport& report)
{
    const DWORD code = report.GetExceptionRecord().ExceptionCode;
    End(code ? code : AbnormalExitCode);
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
        TRecentExceptions::TBytes ring;
        {
            const std::lock_guard lock(RingLock);
            ring = Ring().Bytes();
        }
        HandOverRestart(process.Get(), pi.dwProcessId, ring);
        ::ResumeThread(thread.Get());
    }
    End(RestartExitCode);
}

} // namespace crash
