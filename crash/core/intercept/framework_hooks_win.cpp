#include "crash/core/intercept/framework_hooks_win.h"

#include "base/seh_frame.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/raise_state_win.h"
#include "crash/core/intercept/thread_registry_win.h"
#include "framework/application.h"
#include "framework/exception.h"
#include "framework/thread.h"

#include <windows.h>

#include <typeinfo>

#include <exception>

namespace crash {
namespace {

// Hands over an exception the framework caught. An OS exception that its boundary turned
// into an object comes with its record (and the dispatch finds the context the thread
// faulted with).
void Dispatch(std::exception_ptr& error, const void* related, TExceptSource source)
{
    TDispatchRequest request;
    request.Exception = &error;
    if (const auto* os = CaughtAs<framework::EExternal>(error)) {
        request.Record = &os->ExceptionRecord();
        request.Address =
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(os->ExceptionRecord().ExceptionAddress));
    }
    request.RelatedObject = related;
    request.Source = source;
    DispatchException(request);
}

// Has framework::HandleException's signature: the patch jumps here with its arguments.
void HandleFrameworkException(framework::TObject* sender, std::exception_ptr error) noexcept
{
    // A control that holds the mouse would keep it through the crash dialog.
    if (HWND capture = ::GetCapture())
        ::SendMessageW(capture, WM_CANCELMODE, 0, 0);
    Dispatch(error, sender,
             dynamic_cast<framework::TThread*>(sender) ? esTThreadSynchronize : esApplicationHandleException);
}

// Has framework::ThreadFailed's signature: an exception escaped a framework thread's Execute.
// The thread ends normally afterwards (the exception is not kept as its FatalException).
void HandleThreadFailure(framework::TThread* thread, std::exception_ptr error) noexcept
{
    Dispatch(error, thread, esTThreadExecute);
}

// Has framework::ThreadStarting's signature: the thread registry learns the class of the
// framework thread that starts (its object is complete by now).
void RegisterThreadClass(framework::TThread* thread) noexcept
{
    base::Guarded([&] {
        RegisterThreadInfo(::GetCurrentThreadId(), nullptr, nullptr, 0, 0,
                           ReadableTypeName(&typeid(*thread)).c_str());
    });
}

// Has TApplication::ShowException's calling convention (this in ecx, the exception_ptr by
// reference on the stack, popped by the callee): the patch at the method's entry jumps here.
[[gnu::thiscall]] void ShowFrameworkException(framework::TApplication* application, std::exception_ptr error)
{
    Dispatch(error, application, esApplicationShowException);
}

template <class F> bool Redirect(TPatches& patches, F* original, F* replacement)
{
    return patches.WriteJump(reinterpret_cast<void*>(original), reinterpret_cast<const void*>(replacement));
}

// The entry of TApplication's own ShowException (not an override's): GCC turns a constant
// pointer to a member function into the address of that function.
void* ShowExceptionEntry()
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpmf-conversions"
    using TShow = void (*)(framework::TApplication*, std::exception_ptr);
    return reinterpret_cast<void*>(reinterpret_cast<TShow>(&framework::TApplication::ShowException));
#pragma GCC diagnostic pop
}

} // namespace

void CheckFrameworkSynchronize()
{
    framework::CheckSynchronize();
}

bool InstallFrameworkHooks(TPatches& patches)
{
    const bool boundary = Redirect(patches, &framework::HandleException, &HandleFrameworkException);
    const bool threads = Redirect(patches, &framework::ThreadFailed, &HandleThreadFailure) &&
                         Redirect(patches, &framework::ThreadStarting, &RegisterThreadClass);
    const bool show =
        patches.WriteJump(ShowExceptionEntry(), reinterpret_cast<const void*>(&ShowFrameworkException));
    return boundary && threads && show;
}

} // namespace crash
