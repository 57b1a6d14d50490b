#include "crash/core/intercept/host_hooks_win.h"

#include "base/module_path.h"
#include "base/seh_frame.h"
#include "crash/core/intercept/base_exception.h"
#include "crash/core/intercept/bcb_raise_win.h"
#include "crash/core/intercept/call_finder_win.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/isapi_requests_win.h"
#include "crash/core/intercept/raise_state_win.h"

#include <psapi.h>

#include <algorithm>
#include <string>
#include <vector>

namespace crash {
namespace {

// The runtime's own exception code: its parameters are the raise address and the object.
constexpr DWORD RuntimeExceptionCode = 0x0EEDFADE;

// The runtime's InitializePackage (register convention: the module in eax).
using TInitializePackage = void(__attribute__((regparm(3))) *)(HMODULE);
TInitializePackage RealInitializePackage = nullptr;

void CallInitializePackage(void* module)
{
    RealInitializePackage(*static_cast<HMODULE*>(module));
}

struct TLoadedModule
{
    HMODULE Module;
    std::wstring FileName; // without its folder
};

// The process's modules with their file names. (Looked through by name here rather than asked
// for with GetModuleHandle: under Wine, asking for a module that is not loaded searches the
// disk.)
std::vector<TLoadedModule> LoadedModules()
{
    std::vector<HMODULE> handles(1024);
    DWORD needed = 0;
    if (!::EnumProcessModules(::GetCurrentProcess(), handles.data(), handles.size() * sizeof(HMODULE),
                              &needed))
        return {};
    handles.resize(std::min<size_t>(needed / sizeof(HMODULE), handles.size()));
    std::vector<TLoadedModule> modules;
    for (HMODULE module : handles) {
        std::wstring path = base::ModulePath(module);
        modules.push_back({module, path.substr(path.find_last_of(L"\\/") + 1)});
    }
    return modules;
}

// A loaded package "<name>150.bpl" or "<name>.bpl" that exports `marker`.
HMODULE Package(const std::vector<TLoadedModule>& modules, const wchar_t* name, const char* marker)
{
    for (const std::wstring& file : {std::wstring(name) + L"150.bpl", std::wstring(name) + L".bpl"})
        for (const TLoadedModule& m : modules)
            if (::lstrcmpiW(m.FileName.c_str(), file.c_str()) == 0 && ::GetProcAddress(m.Module, marker))
                return m.Module;
    return nullptr;
}

void* Export(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<void*>(::GetProcAddress(module, name)) : nullptr;
}

// Every hook body runs under its own protection: nothing of the reporter's may travel into
// the runtime that called it.
void Dispatch(TExceptSource source, const void* object, uint32_t address, const void* related)
{
    base::Guarded([&] {
        TDispatchRequest request;
        request.RuntimeObject = object;
        request.Address = address;
        request.Source = source;
        request.RelatedObject = related;
        DispatchException(request);
    });
}

[[gnu::regparm(3)]] void HandleRuntimeException(void* application, void* sender)
{
    (void)application;
    if (HWND capture = ::GetCapture())
        ::SendMessageW(capture, WM_CANCELMODE, 0, 0);
    Dispatch(esApplicationHandleException, nullptr, 0, sender);
}

[[gnu::regparm(3)]] void ShowRuntimeException(void* application, void* exception)
{
    Dispatch(esApplicationShowException, exception, 0, application);
}

[[gnu::regparm(3)]] void ShowSysUtilsException(void* exception, void* address)
{
    Dispatch(esSysUtilsShowException, exception, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address)),
             nullptr);
}

[[gnu::regparm(3)]] void HandleCgiException(void* application, void* sender)
{
    (void)application;
    Dispatch(esCGI, nullptr, 0, sender);
}

// The report text goes to the thread's ISAPI state, for the request's answer.
[[gnu::regparm(3)]] void HandleIsapiException(void* application, void* sender)
{
    (void)application;
    base::Guarded([&] {
        TIsapiThreadState& state = IsapiThreadState();
        const std::exception_ptr current = std::current_exception();
        TDispatchRequest request;
        request.Exception = current ? &current : nullptr;
        request.Source = esISAPI;
        request.RelatedObject = sender;
        request.BugReportTarget = &state.Report;
        DispatchException(request);
        const TRaiseStackInfo* raised = current ? RaiseStackInfoOf(current) : nullptr;
        state.ExceptAddress = raised && raised->Captured ? raised->Address : 0;
    });
}

// What a C++Builder runtime's abnormal termination calls: the program cannot go on.
void BcbTerminate()
{
    base::Guarded([] {
        const std::exception_ptr termination =
            std::make_exception_ptr(BcbTermination("Abnormal program termination"));
        TDispatchRequest request;
        request.Exception = &termination;
        request.Source = esBcbAbnormalProgramTermination;
        request.CanContinue = false;
        DispatchException(request);
    });
    ::TerminateProcess(::GetCurrentProcess(), 3);
}

// The C++Builder runtime module, when the process has one: the module that exports all of
// the names only that runtime exports.
HMODULE BcbRuntime(const std::vector<TLoadedModule>& modules)
{
    for (const TLoadedModule& m : modules) {
        bool all = true;
        for (const char* name : {"____ExceptionHandler", "@_ThrowExceptionLDTC$qpvt1t1t1uiuiuipuct1",
                                 "_malloc", "___terminatePTR", "___VCL_clear_EH"})
            all = all && ::GetProcAddress(m.Module, name);
        if (all)
            return m.Module;
    }
    return nullptr;
}

// In place of InitializePackage: calls it under a frame of its own; an exception that
// escapes is dispatched and raised again, for LoadPackage to unload the package as before.
[[gnu::regparm(3)]] void InitializePackageHook(HMODULE module)
{
    EXCEPTION_RECORD caught;
    if (base::CallUnderSehFrame(&CallInitializePackage, &module, caught))
        return;
    const bool runtime = caught.ExceptionCode == RuntimeExceptionCode && caught.NumberParameters >= 2;
    TDispatchRequest request;
    request.RuntimeObject = runtime ? reinterpret_cast<const void*>(caught.ExceptionInformation[1]) : nullptr;
    request.Address = static_cast<uint32_t>(runtime ? caught.ExceptionInformation[0]
                                                    : reinterpret_cast<uintptr_t>(caught.ExceptionAddress));
    request.Record = &caught;
    request.Source = esInitializePackage;
    request.Package = module;
    base::Guarded([&] { DispatchException(request); });
    ::RaiseException(caught.ExceptionCode, caught.ExceptionFlags, caught.NumberParameters,
                     caught.ExceptionInformation);
}

} // namespace

TIsapiThreadState& IsapiThreadState()
{
    static thread_local TIsapiThreadState state;
    return state;
}

THookTargets FindHookTargets()
{
    const std::vector<TLoadedModule> modules = LoadedModules();
    const HMODULE vcl = Package(modules, L"vcl", "@Forms@TApplication@HandleException$qqrp14System@TObject");
    const HMODULE rtl = Package(modules, L"rtl", "@System@FreeMem$qpv");
    const HMODULE clx =
        Package(modules, L"vclx", "@Qforms@TApplication@HandleException$qqrp14System@TObject");
    const auto any = [&](const char* name) {
        for (HMODULE m : {vcl, rtl, clx})
            if (void* routine = Export(m, name))
                return routine;
        return static_cast<void*>(nullptr);
    };
    THookTargets r;
    r.HandleException[0] = Export(vcl, "@Forms@TApplication@HandleException$qqrp14System@TObject");
    r.ShowException[0] = Export(vcl, "@Forms@TApplication@ShowException$qqrp18Sysutils@Exception");
    r.HandleException[1] = Export(clx, "@Qforms@TApplication@HandleException$qqrp14System@TObject");
    r.ShowException[1] = any("@Qforms@TApplication@ShowException$qqrp18Sysutils@Exception");
    r.HandleException[2] = any("@Fmx@Forms@TApplication@HandleException$qqrp14System@TObject");
    r.ShowException[2] = any("@Fmx@Forms@TApplication@ShowException$qqrp25System@Sysutils@Exception");
    r.SysUtilsShowException = any("@Sysutils@ShowException$qqrp14System@TObjectpv");
    r.LoadPackage = any("@Sysutils@LoadPackage$qqrx17System@AnsiString");
    r.InitializePackage = any("@Sysutils@InitializePackage$qqrui");
    if (const HMODULE bcb = BcbRuntime(modules)) {
        r.BcbTerminatePointer = static_cast<void**>(Export(bcb, "___terminatePTR"));
        r.BcbThrow = Export(bcb, "@_ThrowExceptionLDTC$qpvt1t1t1uiuiuipuct1");
        r.BcbMalloc = Export(bcb, "_malloc");
    }
    return r;
}

int InstallHostHooks(TPatches& patches, const THookTargets& r)
{
    int installed = 0;
    const auto hook = [&](void* routine, const void* replacement) {
        installed += routine && patches.WriteJump(routine, replacement) ? 1 : 0;
    };
    for (int k = 0; k < 3; ++k) {
        hook(r.HandleException[k], reinterpret_cast<const void*>(&HandleRuntimeException));
        hook(r.ShowException[k], reinterpret_cast<const void*>(&ShowRuntimeException));
    }
    hook(r.SysUtilsShowException, reinterpret_cast<const void*>(&ShowSysUtilsException));
    hook(r.CgiHandleException, reinterpret_cast<const void*>(&HandleCgiException));
    hook(r.IsapiHandleException, reinterpret_cast<const void*>(&HandleIsapiException));
    if (r.IsapiExtension && HookIsapiEntry(patches, r.IsapiExtension))
        ++installed;
    if (r.BcbTerminatePointer &&
        patches.WriteValue(r.BcbTerminatePointer,
                           static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&BcbTerminate))))
        ++installed;
    if (r.BcbThrow && r.BcbMalloc && HookBcbThrow(patches, r.BcbThrow, r.BcbMalloc))
        ++installed;
    if (r.LoadPackage && r.InitializePackage) {
        if (const auto site = FindCall(r.LoadPackage, {r.InitializePackage}); site && site->Relative) {
            RealInitializePackage = reinterpret_cast<TInitializePackage>(r.InitializePackage);
            installed +=
                patches.WriteCall(site->Instruction, reinterpret_cast<const void*>(&InitializePackageHook))
                    ? 1
                    : 0;
        }
    }
    return installed;
}

} // namespace crash
