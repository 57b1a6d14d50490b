#pragma once
// The timer component: runs OnTimer on the creating thread every Interval milliseconds
// while enabled. An exception escaping OnTimer goes to the application's HandleException.

#include "base/win_handle.h"
#include "framework/object.h"

namespace framework {

class TTimer : public TComponent
{
public:
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;

    bool Enabled() const noexcept { return FEnabled; }
    void SetEnabled(bool value);
    unsigned Interval() const noexcept { return FInterval; }
    void SetInterval(unsigned value);

    TNotifyEvent OnTimer;

private:
    static LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam);
    void Update();

    bool FEnabled = true;
    unsigned FInterval = 1000;
    base::Window FWindow;
};

} // namespace framework
