#include "crash/core/intercept/framework_hooks_win.h"

#include "crash/core/intercept/dispatch_win.h"
#include "framework/application.h"
#include "framework/thread.h"

#include <windows.h>

#include <exception>

namespace crash {
namespace {

// Has framework::HandleException's signature: the patch jumps here with its arguments.
void HandleFrameworkException(framework::TObject* sender, std::exception_ptr error) noexcept
{
    // A control that holds the mouse would keep it through the crash dialog.
    if (HWND capture = ::GetCapture())
        ::SendMessageW(capture, WM_CANCELMODE, 0, 0);
    TDispatchRequest request;
    request.Object = &error;
    request.RelatedObject = sender;
    request.Source =
        dynamic_cast<framework::TThread*>(sender) ? esTThreadSynchronize : esApplicationHandleException;
    DispatchException(request);
}

// Has framework::ThreadFailed's signature: an exception escaped a framework thread's Execute.
// The thread ends normally afterwards (the exception is not kept as its FatalException).
void HandleThreadFailure(framework::TThread* thread, std::exception_ptr error) noexcept
{
    TDispatchRequest request;
    request.Object = &error;
    request.RelatedObject = thread;
    request.Source = esTThreadExecute;
    DispatchException(request);
}

template <class F> bool Redirect(TPatches& patches, F* original, F* replacement)
{
    return patches.WriteJump(reinterpret_cast<void*>(original), reinterpret_cast<const void*>(replacement));
}

} // namespace

bool InstallFrameworkHooks(TPatches& patches)
{
    const bool boundary = Redirect(patches, &framework::HandleException, &HandleFrameworkException);
    const bool threads = Redirect(patches, &framework::ThreadFailed, &HandleThreadFailure);
    return boundary && threads;
}

} // namespace crash
