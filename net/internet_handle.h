#pragma once
// The owner of a WinInet handle (session, connection or request).

#include "base/win_handle.h"

#include <wininet.h>

namespace net {

struct InternetHandleTraits
{
    using Handle = HINTERNET;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::InternetCloseHandle(h); }
};

using InternetHandle = base::UniqueHandle<InternetHandleTraits>;

} // namespace net
