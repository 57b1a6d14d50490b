#include "framework/timer.h"

#include "base/window_class.h"
#include "framework/application.h"
#include "framework/guard.h"

namespace framework {
namespace {

constexpr UINT_PTR TimerId = 1;

} // namespace

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner)
{
    FWindow = base::CreateMessageWindow(L"LumigateTimer", &TTimer::WndProc, this);
    Update();
}

TTimer::~TTimer()
{
    if (FWindow) {
        ::KillTimer(FWindow.Get(), TimerId);
        ::SetWindowLongPtrW(FWindow.Get(), GWLP_USERDATA, 0);
    }
}

void TTimer::SetEnabled(bool value)
{
    if (SetIfChanged(FEnabled, value))
        Update();
}

void TTimer::SetInterval(unsigned value)
{
    if (SetIfChanged(FInterval, value))
        Update();
}

void TTimer::Update()
{
    if (!FWindow)
        return;
    ::KillTimer(FWindow.Get(), TimerId);
    if (FEnabled && FInterval > 0)
        ::SetTimer(FWindow.Get(), TimerId, FInterval, nullptr);
}

LRESULT CALLBACK TTimer::WndProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_TIMER) {
        auto* timer = reinterpret_cast<TTimer*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
        if (timer && timer->FEnabled && timer->OnTimer) {
            if (std::exception_ptr error = Guarded([&] { timer->OnTimer(timer); }))
                HandleException(timer, error);
        }
        return 0;
    }
    return ::DefWindowProcW(wnd, msg, wparam, lparam);
}

} // namespace framework
