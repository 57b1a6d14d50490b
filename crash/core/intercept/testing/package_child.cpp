// A host on runtime packages, with stand-ins for them (testing/vcl_package.cpp,
// testing/rtl_package.cpp, loaded before the reporter starts):  package_child KIND LOG
// KIND names the routine called: "handle" (the visual library's HandleException), "fmx" (the
// FireMonkey one), "show" (its ShowException), "sysutils" (the runtime's ShowException),
// "initialize" (LoadPackage, whose package initialization raises the runtime's exception),
// "cgi" and "isapi" (the exception handlers of web applications, as the build's table would
// give them: stand-ins in this program, hooked here), "bcb" (the abnormal termination of a
// C++Builder runtime module, testing/bcb_runtime.cpp, after an exception that runtime threw),
// "bcb-throw" (an exception thrown by that runtime that nothing catches). For both, "site"
// and the address of the routine that throws come first. The processor answers a report target
// with "the report".
// Every hand-off appends "source object runtime related package address" to LOG (hexadecimal;
// runtime "runtime" when the object is the runtime's); "raised again" follows when the
// exception of a package's initialization went on to the caller. Ends with the number of
// stand-in routines that ran unhooked.

#include "base/proc_address.h"
#include "base/seh_frame.h"
#include "base/win_handle.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/host_hooks_win.h"
#include "crash/core/intercept/startup_win.h"
#include "crash/core/intercept/testing/child_log.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

char Log[MAX_PATH];

void Record(const crash::THandoffRecord& r)
{
    char line[128];
    const int n = std::snprintf(line, sizeof line, "%u %x %s %x %x %x", static_cast<unsigned>(r.Source),
                                static_cast<unsigned>(r.ExceptObject),
                                r.ExceptType & crash::RuntimeObjectFlag ? "runtime" : "-",
                                static_cast<unsigned>(r.RelatedObject), static_cast<unsigned>(r.Package),
                                static_cast<unsigned>(r.ExceptAddress));
    crash::testing::AppendLine(Log, {line, static_cast<size_t>(n)});
    if (auto* target = reinterpret_cast<std::string*>(static_cast<uintptr_t>(r.BugReportTarget)))
        *target = "the report";
}

int UnhookedHandlers = 0;
[[gnu::regparm(3), gnu::noipa]] void CgiHandleException(void*, void*)
{
    ++UnhookedHandlers;
}
[[gnu::regparm(3), gnu::noipa]] void IsapiHandleException(void*, void*)
{
    ++UnhookedHandlers;
}

// The packages are loaded first: the reporter finds the routines of the packages the
// process has when it starts.
struct TPackages
{
    base::Module Vcl{::LoadLibraryW(L"vcl150.bpl")};
    base::Module Rtl{::LoadLibraryW(L"rtl150.bpl")};
    base::Module Bcb{::LoadLibraryW(L"bcb_runtime.dll")};
};
__attribute__((init_priority(101))) TPackages Packages;

struct TReporter
{
    crash::TReporterStart State = crash::StartReporter({&Record});
    ~TReporter() { crash::StopReporter(); }
};
__attribute__((init_priority(102))) TReporter Reporter;

using TTwo = void(__attribute__((regparm(3))) *)(void*, void*);
using TOne = void(__attribute__((regparm(3))) *)(const char*);

void* Address(HMODULE module, const char* name)
{
    return reinterpret_cast<void*>(::GetProcAddress(module, name));
}

// Throws an int through the C++Builder runtime's throw routine.
[[gnu::noipa]] void ThrowThroughBcb()
{
    using TThrow = void (*)(const void*, unsigned);
    const int object = 42;
    reinterpret_cast<TThrow>(Address(Packages.Bcb.Get(), "@_ThrowExceptionLDTC$qpvt1t1t1uiuiuipuct1"))(
        &object, sizeof object);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || !Packages.Vcl || !Packages.Rtl || !Packages.Bcb ||
        Reporter.State != crash::TReporterStart::Enabled)
        return 100;
    std::strncpy(Log, argv[2], sizeof Log - 1);
    const std::string kind = argv[1];
    auto* app = reinterpret_cast<void*>(0x1111);
    if (kind == "handle")
        reinterpret_cast<TTwo>(
            Address(Packages.Vcl.Get(), "@Forms@TApplication@HandleException$qqrp14System@TObject"))(
            app, reinterpret_cast<void*>(0x2222));
    else if (kind == "fmx")
        reinterpret_cast<TTwo>(
            Address(Packages.Vcl.Get(), "@Fmx@Forms@TApplication@HandleException$qqrp14System@TObject"))(
            app, reinterpret_cast<void*>(0x2222));
    else if (kind == "show")
        reinterpret_cast<TTwo>(
            Address(Packages.Vcl.Get(), "@Forms@TApplication@ShowException$qqrp18Sysutils@Exception"))(
            app, reinterpret_cast<void*>(0x3333));
    else if (kind == "sysutils")
        reinterpret_cast<TTwo>(Address(Packages.Rtl.Get(), "@Sysutils@ShowException$qqrp14System@TObjectpv"))(
            reinterpret_cast<void*>(0x4444), reinterpret_cast<void*>(0x401234));
    else if (kind == "initialize") {
        static auto load = reinterpret_cast<TOne>(
            Address(Packages.Rtl.Get(), "@Sysutils@LoadPackage$qqrx17System@AnsiString"));
        EXCEPTION_RECORD caught;
        if (!base::CallUnderSehFrame([](void*) { load("pkg.bpl"); }, nullptr, caught) &&
            caught.ExceptionCode == 0x0EEDFADE)
            crash::testing::AppendLine(Log, "raised again");
    } else if (kind == "bcb" || kind == "bcb-throw") {
        char site[32];
        std::snprintf(site, sizeof site, "site %x",
                      static_cast<unsigned>(reinterpret_cast<uintptr_t>(&ThrowThroughBcb)));
        crash::testing::AppendLine(Log, site);
        EXCEPTION_RECORD caught;
        if (kind == "bcb-throw")
            ThrowThroughBcb();
        else if (!base::CallUnderSehFrame([](void*) { ThrowThroughBcb(); }, nullptr, caught))
            (*static_cast<void (**)()>(Address(Packages.Bcb.Get(), "___terminatePTR")))();
    } else if (kind == "cgi" || kind == "isapi") {
        crash::TPatches patches;
        crash::THookTargets web;
        web.CgiHandleException = reinterpret_cast<void*>(&CgiHandleException);
        web.IsapiHandleException = reinterpret_cast<void*>(&IsapiHandleException);
        if (crash::InstallHostHooks(patches, web) != 2)
            return 101;
        if (kind == "cgi") {
            CgiHandleException(app, reinterpret_cast<void*>(0x2222));
        } else {
            try {
                throw std::runtime_error("in a request");
            } catch (...) {
                IsapiHandleException(app, reinterpret_cast<void*>(0x2222));
            }
            const crash::TIsapiThreadState& state = crash::IsapiThreadState();
            crash::testing::AppendLine(Log, state.Report + (state.ExceptAddress ? " at its address" : ""));
        }
    }
    const int unhooked = UnhookedHandlers + *static_cast<int*>(Address(Packages.Vcl.Get(), "UnhookedCalls")) +
                         *static_cast<int*>(Address(Packages.Rtl.Get(), "UnhookedCalls"));
    crash::StopReporter();
    return unhooked;
}
