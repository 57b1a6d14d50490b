#pragma once
// Owners for Windows Sockets: the library started for the lifetime of an object, and a socket.
//
// Include this header before <windows.h> (Windows Sockets 2 must come before the old
// declarations windows.h brings).

#include <winsock2.h>
#include <ws2tcpip.h>

#include "base/win_handle.h"

namespace base {

// Windows Sockets, started for as long as the object lives.
class Winsock
{
public:
    Winsock() noexcept { FStarted = ::WSAStartup(MAKEWORD(2, 2), &FData) == 0; }
    ~Winsock()
    {
        if (FStarted)
            ::WSACleanup();
    }
    Winsock(const Winsock&) = delete;
    Winsock& operator=(const Winsock&) = delete;
    bool Started() const noexcept { return FStarted; }

private:
    WSADATA FData{};
    bool FStarted = false;
};

struct SocketTraits
{
    using Handle = SOCKET;
    static constexpr Handle Invalid() noexcept { return INVALID_SOCKET; }
    static void Close(Handle h) noexcept { ::closesocket(h); }
};

using Socket = UniqueHandle<SocketTraits>;

} // namespace base
