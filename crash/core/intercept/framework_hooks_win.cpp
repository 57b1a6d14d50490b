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

} // namespace

bool InstallFrameworkHooks(TPatches& patches)
{
    using THandler = void (*)(framework::TObject*, std::exception_ptr) noexcept;
    const THandler original = &framework::HandleException;
    return patches.WriteJump(reinterpret_cast<void*>(original),
                             reinterpret_cast<const void*>(&HandleFrameworkException));
}

} // namespace crash
