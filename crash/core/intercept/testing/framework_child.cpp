// A program of the framework that fails on purpose at its exception boundary under the
// interception:  framework_child KIND LOG
// KIND "handler" hands an exception to framework::HandleException directly, "timer" throws
// from a timer event, "sync" from a call a framework thread synchronizes with the main
// thread, "execute" from a framework thread's Execute; "show" asks the application to show an
// exception. Every hand-off appends a line "source thread" (main or
// other) to LOG; the program goes on and ends with 0.

#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/framework_hooks_win.h"
#include "crash/core/intercept/testing/child_log.h"
#include "framework/application.h"
#include "framework/thread.h"
#include "framework/timer.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

char Log[MAX_PATH];
volatile LONG Handed = 0;

void Record(const crash::THandoffRecord& r)
{
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%u %s", static_cast<unsigned>(r.Source),
                                r.ThreadId == crash::MainThreadId() ? "main" : "other");
    crash::testing::AppendLine(Log, {line, static_cast<size_t>(n)});
    ::InterlockedIncrement(&Handed);
}

class TFailingThread : public framework::TThread
{
public:
    TFailingThread() : TThread(true) {}

protected:
    void Execute() override { throw std::runtime_error("thrown in Execute"); }
};

class TSyncThread : public framework::TThread
{
public:
    TSyncThread() : TThread(true) {}

protected:
    void Execute() override
    {
        Synchronize([] { throw std::runtime_error("thrown in a synchronized call"); });
    }
};

// Runs the message loop until something was handed over (or five seconds passed).
void PumpUntilHanded()
{
    const DWORD start = ::GetTickCount();
    while (!Handed && ::GetTickCount() - start < 5000) {
        if (!framework::Application()->HandleMessage())
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    std::strncpy(Log, argv[2], sizeof Log - 1);
    framework::TApplication app;
    app.Initialize();
    const std::string kind = argv[1];
    uint8_t handler[5], failed[5];
    std::memcpy(handler, reinterpret_cast<const void*>(&framework::HandleException), 5);
    std::memcpy(failed, reinterpret_cast<const void*>(&framework::ThreadFailed), 5);
    crash::TPatches patches;
    if (!crash::StartInterception(&Record) || !crash::InstallFrameworkHooks(patches))
        return 4;
    if (kind == "undo") {
        // Patched while installed; after the undo the routines' bytes are as they were.
        const bool installed =
            std::memcmp(handler, reinterpret_cast<const void*>(&framework::HandleException), 5) &&
            std::memcmp(failed, reinterpret_cast<const void*>(&framework::ThreadFailed), 5);
        patches.UndoAndFree();
        crash::StopInterception();
        const bool undone =
            !std::memcmp(handler, reinterpret_cast<const void*>(&framework::HandleException), 5) &&
            !std::memcmp(failed, reinterpret_cast<const void*>(&framework::ThreadFailed), 5);
        return installed && undone ? 0 : 6;
    }
    if (kind == "show") {
        app.ShowException(std::make_exception_ptr(std::runtime_error("shown")));
    } else if (kind == "handler") {
        framework::HandleException(nullptr, std::make_exception_ptr(std::runtime_error("handed over")));
    } else if (kind == "timer") {
        framework::TTimer timer(nullptr);
        timer.SetInterval(10);
        timer.OnTimer = [&](framework::TObject*) {
            timer.SetEnabled(false);
            throw std::runtime_error("thrown in a timer event");
        };
        PumpUntilHanded();
    } else if (kind == "execute") {
        TFailingThread thread;
        thread.Start();
        thread.WaitFor();
        if (thread.FatalException())
            return 5; // kept by the framework: the hand-off did not take its place
    } else if (kind == "sync") {
        TSyncThread thread;
        thread.Start();
        PumpUntilHanded();
        thread.WaitFor();
    }
    patches.UndoAndFree();
    crash::StopInterception();
    return 0;
}
