#include "framework/application.h"

#include "framework/exception.h"
#include "framework/guard.h"
#include "framework/thread.h"

#include <commctrl.h>

namespace framework {
namespace {

TApplication* TheApplication = nullptr;

} // namespace

TApplication* Application()
{
    return TheApplication;
}

TApplication::TApplication() : TComponent(nullptr)
{
    TheApplication = this;
    FTitle = L"Application";
}

TApplication::~TApplication()
{
    // Forms go before the application object itself stops existing.
    while (!Components().empty())
        delete Components().back();
    if (TheApplication == this)
        TheApplication = nullptr;
}

void TApplication::Initialize()
{
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    SynchronizeWindow();
}

void TApplication::AddForm(TForm* form)
{
    if (!FMainForm)
        FMainForm = form;
    form->HandleNeeded();
    form->DoCreate();
}

void TApplication::Run()
{
    if (FMainForm)
        FMainForm->ShowForm();
    while (!FTerminated) {
        MSG msg;
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            FTerminated = true;
            break;
        }
        ProcessMessage(msg);
    }
}

bool TApplication::ProcessMessage(MSG& msg)
{
    if (msg.message == WM_QUIT) {
        FTerminated = true;
        return true;
    }
    // Tab and the arrow keys move the focus between a form's controls.
    HWND top = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (top && ::IsDialogMessageW(top, &msg))
        return true;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
    return true;
}

bool TApplication::HandleMessage()
{
    MSG msg;
    if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        return false;
    return ProcessMessage(msg);
}

void TApplication::ProcessMessages()
{
    while (HandleMessage()) {
    }
}

void TApplication::Terminate()
{
    FTerminated = true;
    ::PostQuitMessage(0);
}

void TApplication::HandleException(TObject* Sender, std::exception_ptr E)
{
    // A control holding the mouse would keep it through the message box otherwise.
    if (HWND capture = ::GetCapture())
        ::SendMessageW(capture, WM_CANCELMODE, 0, 0);
    if (OnException)
        OnException(Sender, E);
    else
        ShowException(E);
}

void TApplication::ShowException(std::exception_ptr E)
{
    std::wstring message = ExceptionMessage(E);
    if (!message.empty() && message.back() != L'.')
        message += L'.';
    MessageBox(message, FTitle, MB_OK | MB_ICONWARNING);
}

int TApplication::MessageBox(const std::wstring& text, const std::wstring& caption, UINT flags)
{
    HWND owner = FMainForm && FMainForm->HandleAllocated() ? FMainForm->Handle() : nullptr;
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

void HandleException(TObject* Sender, std::exception_ptr E) noexcept
{
    // A failure of the handler itself must not leave the boundary either.
    Guarded([&] {
        if (TApplication* app = Application())
            app->HandleException(Sender, E);
        else
            ::MessageBoxW(nullptr, ExceptionMessage(E).c_str(), L"Error", MB_OK | MB_ICONWARNING);
    });
}

} // namespace framework
