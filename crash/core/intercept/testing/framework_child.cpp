// A program of the framework that fails on purpose at its exception boundary under the
// interception:  framework_child WHERE [FAILURE] LOG
// WHERE "click" fails in a button's click handler ("click-twice": clicked twice), "timer" in a timer event,
// "sync" in a call a framework thread synchronizes with the main thread, "execute" in a framework thread's
// Execute; FAILURE is one of testing/failures.h (a thrown std::runtime_error when not
// given). "handler" hands an exception to framework::HandleException directly, "show" asks
// the application to show one, "class" starts a framework thread that logs "class C", C the
// class the thread registry has for it. Every hand-off appends a line "source thread code context" to
// LOG: thread "main" or "other", code the OS exception's (0 for none), context "ctx" when the
// record carries the context the exception happened in. The program goes on afterwards
// where the failure lets it, and then ends with 0.

#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/framework_hooks_win.h"
#include "crash/core/intercept/startup_win.h"
#include "crash/core/intercept/testing/child_log.h"
#include "crash/core/intercept/testing/failures.h"
#include "crash/core/intercept/thread_registry_win.h"
#include "framework/application.h"
#include "framework/button.h"
#include "framework/form.h"
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

std::string Failure = "throw-std";

void Fail()
{
    crash::testing::Fail(Failure);
}

void Record(const crash::THandoffRecord& r)
{
    EXCEPTION_RECORD os;
    std::memcpy(&os, r.ExceptionRecord, sizeof os);
    const auto* context = reinterpret_cast<const CONTEXT*>(static_cast<uintptr_t>(r.Context));
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%u %s %08lx %s", static_cast<unsigned>(r.Source),
                                r.ThreadId == crash::MainThreadId() ? "main" : "other", os.ExceptionCode,
                                context && context->Eip == r.ExceptAddress ? "ctx" : "-");
    crash::testing::AppendLine(Log, {line, static_cast<size_t>(n)});
    ::InterlockedIncrement(&Handed);
}

class TFailingThread : public framework::TThread
{
public:
    TFailingThread() : TThread(true) {}

protected:
    void Execute() override { Fail(); }
};

class TSyncThread : public framework::TThread
{
public:
    TSyncThread() : TThread(true) {}

protected:
    void Execute() override
    {
        Synchronize([] { Fail(); });
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

// Whether the first bytes of `routine` are those of the executable's file (nothing of a patch
// left): the section that holds it is found in the file's headers.
bool AsInTheFile(const void* routine, size_t count)
{
    const auto image = reinterpret_cast<const uint8_t*>(::GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image + dos->e_lfanew);
    const auto rva = static_cast<uint32_t>(static_cast<const uint8_t*>(routine) - image);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (int k = 0; k < nt->FileHeader.NumberOfSections; ++k, ++section) {
        if (rva - section->VirtualAddress >= section->SizeOfRawData)
            continue;
        wchar_t path[MAX_PATH];
        ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        FILE* file = _wfopen(path, L"rb");
        uint8_t bytes[16];
        const bool read =
            file &&
            std::fseek(file, static_cast<long>(section->PointerToRawData + rva - section->VirtualAddress),
                       SEEK_SET) == 0 &&
            std::fread(bytes, 1, count, file) == count;
        if (file)
            std::fclose(file);
        return read && std::memcmp(bytes, routine, count) == 0;
    }
    return false;
}

// The reporter starts as the program would start it, with the framework's boundary as the
// application's paths.
struct TReporter
{
    crash::TReporterStart State =
        crash::StartReporter({.Processor = &Record,
                              .InstallApplicationHooks = &crash::InstallFrameworkHooks,
                              .CheckSynchronize = &crash::CheckFrameworkSynchronize});
    ~TReporter() { crash::StopReporter(); }
};
__attribute__((init_priority(101))) TReporter Reporter;

} // namespace

// A framework thread of a class of this program: the registry learns its class as it starts.
class TWorkerThread : public framework::TThread
{
public:
    TWorkerThread() : TThread(true) {}

protected:
    void Execute() override
    {
        const auto info = crash::LookupThreadInfo(::GetCurrentThreadId());
        crash::testing::AppendLine(Log, "class " + (info ? info->ClassName : std::string("-")));
    }
};

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    std::strncpy(Log, argv[argc - 1], sizeof Log - 1);
    if (argc > 3)
        Failure = argv[2];
    framework::TApplication app;
    app.Initialize();
    const std::string kind = argv[1];
    if (Reporter.State != crash::TReporterStart::Enabled)
        return 4;
    if (kind == "undo") {
        // Patched while the reporter runs; after its shutdown the bytes are the file's.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpmf-conversions"
        using TShow = void (*)(framework::TApplication*, std::exception_ptr);
        const void* routines[] = {
            reinterpret_cast<const void*>(&framework::HandleException),
            reinterpret_cast<const void*>(&framework::ThreadFailed),
            reinterpret_cast<const void*>(&framework::ThreadStarting),
            reinterpret_cast<const void*>(reinterpret_cast<TShow>(&framework::TApplication::ShowException))};
#pragma GCC diagnostic pop
        bool installed = true, undone = true;
        for (const void* routine : routines)
            installed = installed && !AsInTheFile(routine, 5);
        crash::StopReporter();
        for (const void* routine : routines)
            undone = undone && AsInTheFile(routine, 5);
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
            Fail();
        };
        PumpUntilHanded();
    } else if (kind == "class") {
        TWorkerThread thread;
        thread.Start();
        thread.WaitFor();
    } else if (kind == "click" || kind == "click-twice") {
        framework::TForm form(nullptr);
        auto* button = new framework::TButton(&form);
        button->SetParent(&form);
        button->OnClick = [](framework::TObject*) { Fail(); };
        form.ShowForm();
        for (int k = kind == "click" ? 1 : 2; k > 0; --k)
            ::SendMessageW(button->Handle(), BM_CLICK, 0, 0);
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
    crash::StopReporter();
    return 0;
}
