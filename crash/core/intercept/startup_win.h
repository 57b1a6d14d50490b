#pragma once
// The crash reporter's start-up and shutdown in the module that carries it. Start-up runs
// from a static initializer that runs before any other of the program (so that the paths
// are in place before the application object exists), in this order: the leak checking
// and debug memory manager the build marked the module for, the restart hand-shake, the start time, the
// module's settings, the calibration of the modules, the thread registry, the hooks (the application's
// through `InstallApplicationHooks`), the handling thread, the thread hooks, the pipeline's own start, the
// freeze detector, the out-of-memory reserve. Without valid settings only the main thread is determined; with
// disabled settings the registry is attached and nothing is hooked. Shutdown runs once, at process exit.

#include "crash/core/intercept/handling_thread_win.h"
#include "crash/core/intercept/patches_win.h"
#include "crash/core/intercept/restart_handshake_win.h"

#include <cstdint>
#include <optional>

namespace crash {

// What the layers above the interception bring to the start-up, each used at its place.
struct TReporterParts
{
    THandoffProcessor Processor = nullptr; // the handling pipeline
    void (*StartPipeline)() = nullptr;     // its own start, on the main thread
    void (*StopPipeline)() = nullptr;
    bool (*InstallApplicationHooks)(TPatches&) = nullptr; // the framework's boundary
    void (*CheckSynchronize)() = nullptr;                 // the framework's synchronized calls
    void (*StartFreezeDetector)(uint32_t timeoutMs) = nullptr;
    void (*PauseFreezeDetector)(bool paused) = nullptr;
    void (*StopFreezeDetector)() = nullptr;
};

enum class TReporterStart
{
    NoSettings, // no valid settings: nothing installed
    Disabled,   // the settings switch the reporter off: the registry only
    Enabled,    // every path installed
};

TReporterStart StartReporter(const TReporterParts& parts);
// Takes everything out again (once; a second call does nothing).
void StopReporter();

// True while the start-up runs.
bool ReporterInitializing();
// The process's start, in milliseconds of the high-resolution counter (for the program's
// up time).
double ProcessStartMs();
// The recent-exception ring that the process this one restarted from handed over.
const std::optional<TExceptionRing>& InheritedExceptionRing();

} // namespace crash
