#include "crash/core/intercept/thread_hooks_win.h"

#include "base/proc_address.h"
#include "base/seh_frame.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/import_patches_win.h"

#include <windows.h>

#include <cstring>
#include <exception>
#include <vector>

namespace crash {
namespace {

using TCreateThread = HANDLE(WINAPI*)(SECURITY_ATTRIBUTES*, SIZE_T, LPTHREAD_START_ROUTINE, void*, DWORD,
                                      DWORD*);
using TBeginThreadEx = uintptr_t(__cdecl*)(void*, unsigned, unsigned(__stdcall*)(void*), void*, unsigned,
                                           unsigned*);
using TQueueUserWorkItem = BOOL(WINAPI*)(LPTHREAD_START_ROUTINE, void*, ULONG);

TCreateThread RealCreateThread = nullptr;
TBeginThreadEx RealBeginThreadEx = nullptr;
TQueueUserWorkItem RealQueueUserWorkItem = nullptr;

// What the caller asked to run; handed to the wrapper in place of its parameter.
struct TStart
{
    void* Function;
    void* Parameter;
};

void DispatchOsException(const EXCEPTION_RECORD& record, const CONTEXT& context, void*)
{
    TDispatchRequest request;
    request.Address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record.ExceptionAddress));
    request.Source = esThreadFrame;
    request.Context = &context;
    request.Record = &record;
    DispatchException(request);
}

// Runs the caller's function; an exception that escapes it is handed over.
template <class TResult> TResult RunWrapped(void* block)
{
    TStart start;
    std::memcpy(&start, block, sizeof start);
    ::HeapFree(::GetProcessHeap(), 0, block);
    KeepStackForHandoff();
    struct TRun
    {
        TStart Start;
        TResult Result;
    } run{start, static_cast<TResult>(-1)};
    EXCEPTION_RECORD caught;
    base::CallUnderSehFrame(
        [](void* p) {
            auto& r = *static_cast<TRun*>(p);
            try {
                r.Result = reinterpret_cast<TResult(__stdcall*)(void*)>(r.Start.Function)(r.Start.Parameter);
            } catch (...) {
                std::exception_ptr error = std::current_exception();
                TDispatchRequest request;
                request.Object = &error;
                request.Source = esThreadFrame;
                DispatchException(request);
                r.Result = static_cast<TResult>(-1);
            }
        },
        &run, caught, &DispatchOsException, nullptr);
    return run.Result;
}

DWORD WINAPI ThreadWrapper(void* block)
{
    return RunWrapped<DWORD>(block);
}

unsigned __stdcall BeginThreadWrapper(void* block)
{
    return RunWrapped<unsigned>(block);
}

void* Block(void* function, void* parameter)
{
    auto* block = static_cast<TStart*>(::HeapAlloc(::GetProcessHeap(), 0, sizeof(TStart)));
    if (block)
        *block = {function, parameter};
    return block;
}

HANDLE WINAPI CreateThreadHook(SECURITY_ATTRIBUTES* security, SIZE_T stack, LPTHREAD_START_ROUTINE function,
                               void* parameter, DWORD flags, DWORD* id)
{
    void* block = Block(reinterpret_cast<void*>(function), parameter);
    if (!block)
        return RealCreateThread(security, stack, function, parameter, flags, id);
    HANDLE thread = RealCreateThread(security, stack, &ThreadWrapper, block, flags, id);
    if (!thread)
        ::HeapFree(::GetProcessHeap(), 0, block);
    return thread;
}

uintptr_t __cdecl BeginThreadExHook(void* security, unsigned stack, unsigned(__stdcall* function)(void*),
                                    void* parameter, unsigned flags, unsigned* id)
{
    void* block = Block(reinterpret_cast<void*>(function), parameter);
    if (!block)
        return RealBeginThreadEx(security, stack, function, parameter, flags, id);
    const uintptr_t thread = RealBeginThreadEx(security, stack, &BeginThreadWrapper, block, flags, id);
    if (!thread)
        ::HeapFree(::GetProcessHeap(), 0, block);
    return thread;
}

BOOL WINAPI QueueUserWorkItemHook(LPTHREAD_START_ROUTINE function, void* context, ULONG flags)
{
    void* block = Block(reinterpret_cast<void*>(function), context);
    if (!block)
        return RealQueueUserWorkItem(function, context, flags);
    const BOOL queued = RealQueueUserWorkItem(&ThreadWrapper, block, flags);
    if (!queued)
        ::HeapFree(::GetProcessHeap(), 0, block);
    return queued;
}

} // namespace

bool InstallThreadHooks(TPatches& patches)
{
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    HMODULE crt = ::GetModuleHandleW(L"msvcrt.dll");
    RealCreateThread = base::ProcAddress<TCreateThread>(kernel, "CreateThread");
    RealQueueUserWorkItem = base::ProcAddress<TQueueUserWorkItem>(kernel, "QueueUserWorkItem");
    RealBeginThreadEx = base::ProcAddress<TBeginThreadEx>(crt, "_beginthreadex");
    if (!RealCreateThread || !RealQueueUserWorkItem)
        return false;
    PatchImports(patches, reinterpret_cast<const void*>(RealCreateThread),
                 reinterpret_cast<const void*>(&CreateThreadHook));
    PatchImports(patches, reinterpret_cast<const void*>(RealQueueUserWorkItem),
                 reinterpret_cast<const void*>(&QueueUserWorkItemHook));
    if (RealBeginThreadEx)
        PatchImports(patches, reinterpret_cast<const void*>(RealBeginThreadEx),
                     reinterpret_cast<const void*>(&BeginThreadExHook));
    return true;
}

} // namespace crash
