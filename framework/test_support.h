#pragma once
// Helpers of the framework's window tests: pumping messages until a condition holds.

#include "framework/application.h"

#include <windows.h>

#include <functional>

namespace framework::testing {

// Dispatches messages until done() holds or about five seconds have passed.
inline bool PumpUntil(const std::function<bool()>& done)
{
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > 5000)
            return false;
        if (!Application()->HandleMessage())
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

} // namespace framework::testing
