#include "crash/core/intercept/thread_hooks_win.h"

#include "base/guarded_reader.h"
#include "base/proc_address.h"
#include "base/seh_frame.h"
#include "base/win_handle.h"
#include "crash/core/intercept/bcb_raise_win.h"
#include "crash/core/intercept/call_finder_win.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/first_chance_win.h"
#include "crash/core/intercept/import_patches_win.h"
#include "crash/core/intercept/thread_registry_win.h"

#include <windows.h>

#include <exception>
#include <vector>

namespace crash {
namespace {

using TCreateThread = HANDLE(WINAPI*)(SECURITY_ATTRIBUTES*, SIZE_T, LPTHREAD_START_ROUTINE, void*, DWORD,
                                      DWORD*);
using TBeginThreadEx = uintptr_t(__cdecl*)(void*, unsigned, unsigned(__stdcall*)(void*), void*, unsigned,
                                           unsigned*);
using TQueueUserWorkItem = BOOL(WINAPI*)(LPTHREAD_START_ROUTINE, void*, ULONG);
using TCreateRemoteThread = HANDLE(WINAPI*)(HANDLE, SECURITY_ATTRIBUTES*, SIZE_T, LPTHREAD_START_ROUTINE,
                                            void*, DWORD, DWORD*);
using TCreateRemoteThreadEx = HANDLE(WINAPI*)(HANDLE, SECURITY_ATTRIBUTES*, SIZE_T, LPTHREAD_START_ROUTINE,
                                              void*, DWORD, LPPROC_THREAD_ATTRIBUTE_LIST, DWORD*);

TCreateThread RealCreateThread = nullptr;
TCreateRemoteThread RealCreateRemoteThread = nullptr;
TCreateRemoteThreadEx RealCreateRemoteThreadEx = nullptr;
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
    struct TRun
    {
        TStart Start;
        TResult Result;
    } run{*static_cast<const TStart*>(block), static_cast<TResult>(-1)};
    base::HeapBlock(block).Reset();
    KeepStackForHandoff();
    struct TLeave
    {
        ~TLeave()
        {
            UnregisterThread(::GetCurrentThreadId());
            ForgetFirstChance();
            ForgetBcbRaise();
        }
    } leave;
    EXCEPTION_RECORD caught;
    base::CallUnderSehFrame(
        [](void* p) {
            auto& r = *static_cast<TRun*>(p);
            try {
                r.Result = reinterpret_cast<TResult(__stdcall*)(void*)>(r.Start.Function)(r.Start.Parameter);
            } catch (...) {
                std::exception_ptr error = std::current_exception();
                TDispatchRequest request;
                request.Exception = &error;
                request.Source = esThreadFrame;
                DispatchException(request);
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

// Calls `create` with the block {function, parameter} for a wrapper, which owns the block
// once `create` succeeds; with null (no memory for a block) `create` starts the caller's
// function as it is.
template <class TCreate> auto Wrapped(void* function, void* parameter, TCreate create)
{
    base::HeapBlock block(::HeapAlloc(::GetProcessHeap(), 0, sizeof(TStart)));
    if (block)
        *static_cast<TStart*>(block.Get()) = {function, parameter};
    const auto created = create(block.Get());
    if (created)
        block.Release();
    return created;
}

// The new thread's entry in the thread registry: who created it, and from where (the
// return address of the creating call).
void RegisterCreated(HANDLE thread, DWORD id, const void* creator)
{
    if (thread)
        RegisterThreadInfo(id, thread, nullptr, ::GetCurrentThreadId(),
                           static_cast<uint32_t>(reinterpret_cast<uintptr_t>(creator)), nullptr);
}

// The creator of a thread whose creation reached a hook through CreateThread's own call:
// the return address of CreateThread's frame, one frame up from the hook's (`hook`).
const void* CreatorOneFrameUp(const void* hook)
{
    uint32_t frame = 0, creator = 0;
    if (!hook || !base::GuardedRead(hook, &frame, 4) ||
        !base::GuardedRead(reinterpret_cast<const void*>(static_cast<uintptr_t>(frame) + 4), &creator, 4))
        return nullptr;
    return reinterpret_cast<const void*>(static_cast<uintptr_t>(creator));
}

bool ThisProcess(HANDLE process)
{
    return process == ::GetCurrentProcess() || ::GetProcessId(process) == ::GetCurrentProcessId();
}

// Re-pointed from the call inside CreateThread: every thread of the process passes here.
HANDLE WINAPI CreateRemoteThreadExHook(HANDLE process, SECURITY_ATTRIBUTES* security, SIZE_T stack,
                                       LPTHREAD_START_ROUTINE function, void* parameter, DWORD flags,
                                       LPPROC_THREAD_ATTRIBUTE_LIST attributes, DWORD* id)
{
    if (!ThisProcess(process))
        return RealCreateRemoteThreadEx(process, security, stack, function, parameter, flags, attributes, id);
    DWORD created = 0;
    HANDLE thread = Wrapped(reinterpret_cast<void*>(function), parameter, [&](void* block) {
        return block ? RealCreateRemoteThreadEx(process, security, stack, &ThreadWrapper, block, flags,
                                                attributes, &created)
                     : RealCreateRemoteThreadEx(process, security, stack, function, parameter, flags,
                                                attributes, &created);
    });
    RegisterCreated(thread, created, CreatorOneFrameUp(__builtin_frame_address(0)));
    if (id)
        *id = created;
    return thread;
}

HANDLE WINAPI CreateRemoteThreadHook(HANDLE process, SECURITY_ATTRIBUTES* security, SIZE_T stack,
                                     LPTHREAD_START_ROUTINE function, void* parameter, DWORD flags, DWORD* id)
{
    if (!ThisProcess(process))
        return RealCreateRemoteThread(process, security, stack, function, parameter, flags, id);
    DWORD created = 0;
    HANDLE thread = Wrapped(reinterpret_cast<void*>(function), parameter, [&](void* block) {
        return block
                   ? RealCreateRemoteThread(process, security, stack, &ThreadWrapper, block, flags, &created)
                   : RealCreateRemoteThread(process, security, stack, function, parameter, flags, &created);
    });
    RegisterCreated(thread, created, CreatorOneFrameUp(__builtin_frame_address(0)));
    if (id)
        *id = created;
    return thread;
}

// Re-points the call inside CreateThread that creates the thread (to CreateRemoteThreadEx or
// CreateRemoteThread): the threads of every module then pass the hooks, also of modules
// loaded later and of those that find CreateThread by name.
bool RepointCreateThreadCall(TPatches& patches)
{
    const std::optional<TCallSite> site = FindCall(reinterpret_cast<const void*>(RealCreateThread),
                                                   {reinterpret_cast<const void*>(RealCreateRemoteThreadEx),
                                                    reinterpret_cast<const void*>(RealCreateRemoteThread)});
    if (!site || !site->Target)
        return false;
    const void* hook = site->Target == reinterpret_cast<const void*>(RealCreateRemoteThreadEx)
                           ? reinterpret_cast<const void*>(&CreateRemoteThreadExHook)
                           : reinterpret_cast<const void*>(&CreateRemoteThreadHook);
    return site->Relative
               ? patches.WriteCall(site->Instruction, hook)
               : patches.WriteValue(site->Cell, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hook)));
}

HANDLE WINAPI CreateThreadHook(SECURITY_ATTRIBUTES* security, SIZE_T stack, LPTHREAD_START_ROUTINE function,
                               void* parameter, DWORD flags, DWORD* id)
{
    DWORD created = 0;
    HANDLE thread = Wrapped(reinterpret_cast<void*>(function), parameter, [&](void* block) {
        return block ? RealCreateThread(security, stack, &ThreadWrapper, block, flags, &created)
                     : RealCreateThread(security, stack, function, parameter, flags, &created);
    });
    RegisterCreated(thread, created, __builtin_return_address(0));
    if (id)
        *id = created;
    return thread;
}

uintptr_t __cdecl BeginThreadExHook(void* security, unsigned stack, unsigned(__stdcall* function)(void*),
                                    void* parameter, unsigned flags, unsigned* id)
{
    unsigned created = 0;
    const uintptr_t thread = Wrapped(reinterpret_cast<void*>(function), parameter, [&](void* block) {
        return block ? RealBeginThreadEx(security, stack, &BeginThreadWrapper, block, flags, &created)
                     : RealBeginThreadEx(security, stack, function, parameter, flags, &created);
    });
    RegisterCreated(reinterpret_cast<HANDLE>(thread), created, __builtin_return_address(0));
    if (id)
        *id = created;
    return thread;
}

BOOL WINAPI QueueUserWorkItemHook(LPTHREAD_START_ROUTINE function, void* context, ULONG flags)
{
    return Wrapped(reinterpret_cast<void*>(function), context, [&](void* block) {
        return block ? RealQueueUserWorkItem(&ThreadWrapper, block, flags)
                     : RealQueueUserWorkItem(function, context, flags);
    });
}

} // namespace

bool InstallThreadHooks(TPatches& patches)
{
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    HMODULE kernelBase = ::GetModuleHandleW(L"kernelbase.dll");
    HMODULE crt = ::GetModuleHandleW(L"msvcrt.dll");
    RealCreateThread = base::ProcAddress<TCreateThread>(kernel, "CreateThread");
    RealQueueUserWorkItem = base::ProcAddress<TQueueUserWorkItem>(kernel, "QueueUserWorkItem");
    RealBeginThreadEx = base::ProcAddress<TBeginThreadEx>(crt, "_beginthreadex");
    RealCreateRemoteThread = base::ProcAddress<TCreateRemoteThread>(kernel, "CreateRemoteThread");
    RealCreateRemoteThreadEx = base::ProcAddress<TCreateRemoteThreadEx>(kernelBase, "CreateRemoteThreadEx");
    if (!RealCreateRemoteThreadEx)
        RealCreateRemoteThreadEx = base::ProcAddress<TCreateRemoteThreadEx>(kernel, "CreateRemoteThreadEx");
    if (!RealCreateThread || !RealQueueUserWorkItem)
        return false;
    // Work items never pass CreateThread. _beginthreadex keeps its own hook even where the
    // call inside CreateThread is re-pointed: the CRT's thread start lies between the two
    // wrappers, and a C++ exception cannot unwind through it (it has no unwind tables), so
    // only the inner wrapper can catch one.
    std::vector<TImportPatch> imports{{reinterpret_cast<const void*>(RealQueueUserWorkItem),
                                       reinterpret_cast<const void*>(&QueueUserWorkItemHook),
                                       reinterpret_cast<void**>(&RealQueueUserWorkItem)},
                                      {reinterpret_cast<const void*>(RealBeginThreadEx),
                                       reinterpret_cast<const void*>(&BeginThreadExHook),
                                       reinterpret_cast<void**>(&RealBeginThreadEx)}};
    if (!RepointCreateThreadCall(patches))
        imports.push_back({reinterpret_cast<const void*>(RealCreateThread),
                           reinterpret_cast<const void*>(&CreateThreadHook),
                           reinterpret_cast<void**>(&RealCreateThread)});
    PatchImports(patches, imports);
    return true;
}

} // namespace crash
