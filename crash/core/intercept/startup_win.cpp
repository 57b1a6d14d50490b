#include "crash/core/intercept/startup_win.h"

#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/integrity_check_win.h"
#include "crash/core/intercept/leak_library_win.h"
#include "crash/core/intercept/module_calibration_win.h"
#include "crash/core/intercept/thread_registry_win.h"
#include "crash/settings/module_settings.h"

#include <string>

namespace crash {
namespace {

// Where the start-up failures ask to be reported.
constexpr char SupportAddress[] = "support@tolvaris.com";
// How long a restarted process waits for the one it was restarted from.
constexpr DWORD RestartWaitMs = 30000;

constinit TReporterParts Parts;
TReporterStart State = TReporterStart::NoSettings;
volatile LONG Initializing = 0;
volatile LONG Runs = 0; // 0 before the start-up, 1 after it, -1 after the shutdown
double StartMs = 0;
constinit std::optional<TExceptionRing> Ring;

double NowMs()
{
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

[[noreturn]] void FailStart(const std::string& message)
{
    ::MessageBoxA(nullptr, message.c_str(), "Vexcatch", MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ::ExitProcess(0);
}

// The integrity self-check of the executable and of the settings' module: a damaged file is
// told once; the program goes on (what still works is better than nothing, and a crash it
// meets is still reported).
void CheckFiles(ReportSettings& settings)
{
    const HMODULE exe = ::GetModuleHandleW(nullptr), own = settings.Module();
    if (ModuleFileIsIntact(exe) && (!own || own == exe || ModuleFileIsIntact(own)))
        return;
    const std::u16string text = settings.GetBitFaultMsg(), caption = settings.GetTitleBar();
    ::MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text.c_str()),
                  reinterpret_cast<const wchar_t*>(caption.c_str()), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

} // namespace

TReporterStart StartReporter(const TReporterParts& parts)
{
    if (::InterlockedCompareExchange(&Runs, 1, 0) != 0)
        return State; // once per process
    ::InterlockedExchange(&Initializing, 1);
    struct TDone
    {
        ~TDone() { ::InterlockedExchange(&Initializing, 0); }
    } done;
    Parts = parts;
    StartLeakServices(ReporterModule());
    Ring = TakeOverRestart(RestartWaitMs);
    StartMs = NowMs();

    const base::ComPtr<ReportSettings> settings = ModuleSettingsFor(ReporterModule());
    const bool valid = settings && settings->IsValid();
    if (valid && settings->Enabled() && settings->CheckFileCrc())
        CheckFiles(*settings);
    CalibrateModules(ReporterModule());
    if (!valid) {
        SetMainThread(0); // the process's first thread
        return State = TReporterStart::NoSettings;
    }
    switch (AttachThreadRegistry()) {
    case TRegistryAttach::Attached:
        break;
    case TRegistryAttach::CannotOpen:
        FailStart("internal error (opening global buffer)");
    case TRegistryAttach::CannotMap:
        FailStart(std::string("internal error. please notify ") + SupportAddress);
    }
    SetMainThread(RegistryMainThreadId());
    if (!settings->Enabled())
        return State = TReporterStart::Disabled;

    TInterceptionOptions options;
    options.Processor = parts.Processor;
    options.WindowsLogo = settings->GetWindowsLogo();
    options.InstallApplicationHooks = parts.InstallApplicationHooks;
    options.CheckSynchronize = parts.CheckSynchronize;
    options.PauseFreezeDetector = parts.PauseFreezeDetector;
    if (!StartInterception(options))
        return State = TReporterStart::Disabled;
    if (parts.StartPipeline)
        parts.StartPipeline();
    if (parts.StartFreezeDetector && settings->CheckForFreeze())
        parts.StartFreezeDetector(settings->FreezeTimeout());
    return State = TReporterStart::Enabled;
}

void StopReporter()
{
    if (::InterlockedCompareExchange(&Runs, -1, 1) != 1)
        return;
    // In a library the shutdown runs while the loader unloads it, under its lock.
    if (ReporterModule() != ::GetModuleHandleW(nullptr))
        SetLibraryUnloading(true);
    if (State == TReporterStart::Enabled) {
        if (Parts.StopFreezeDetector)
            Parts.StopFreezeDetector();
        if (Parts.StopPipeline)
            Parts.StopPipeline();
        StopInterception();
    }
    DetachThreadRegistry();
    StopLeakServices();
    State = TReporterStart::NoSettings;
}

bool ReporterInitializing()
{
    return Initializing != 0;
}

double ProcessStartMs()
{
    return StartMs;
}

const std::optional<TExceptionRing>& InheritedExceptionRing()
{
    return Ring;
}

} // namespace crash
