#pragma once
// Sockets of a delivery's mail channels: Windows Sockets for the lifetime of an owner, a socket
// with its owner, a TCP connection made within a time limit, and sending and receiving that
// wait a bounded time. Every wait ends: a server that never answers costs seconds, not the
// delivery.
//
// Include this header before <windows.h> (Windows Sockets 2 must come before the old
// declarations windows.h brings).

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <string>
#include <string_view>

namespace crash {

// Windows Sockets, started for as long as the object lives.
class TWinsock
{
public:
    TWinsock() { FStarted = ::WSAStartup(MAKEWORD(2, 2), &FData) == 0; }
    ~TWinsock()
    {
        if (FStarted)
            ::WSACleanup();
    }
    TWinsock(const TWinsock&) = delete;
    TWinsock& operator=(const TWinsock&) = delete;
    bool Started() const { return FStarted; }

private:
    WSADATA FData{};
    bool FStarted = false;
};

class TSocket
{
public:
    TSocket() = default;
    explicit TSocket(SOCKET s) : FSocket(s) {}
    TSocket(TSocket&& other) noexcept : FSocket(other.Release()) {}
    TSocket& operator=(TSocket&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    ~TSocket() { Reset(); }
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;

    SOCKET Get() const { return FSocket; }
    bool Valid() const { return FSocket != INVALID_SOCKET; }
    SOCKET Release()
    {
        const SOCKET s = FSocket;
        FSocket = INVALID_SOCKET;
        return s;
    }
    void Reset(SOCKET s = INVALID_SOCKET)
    {
        if (FSocket != INVALID_SOCKET)
            ::closesocket(FSocket);
        FSocket = s;
    }

private:
    SOCKET FSocket = INVALID_SOCKET;
};

// The IPv4 address of a dotted address or a host name; false when the name is not known
// (`error` holds the system's text).
bool ResolveHost(const std::string& host, in_addr& address, std::u16string& error);

// A TCP connection to `address`:`port`, made within `milliseconds`; the socket blocks again
// afterwards, and a send that waits longer than that fails. Invalid when no connection was
// made.
TSocket ConnectWithin(const in_addr& address, uint16_t port, DWORD milliseconds);

// Whether something arrives within `milliseconds`.
bool WaitReadable(SOCKET socket, DWORD milliseconds);

// Everything of `bytes`, or false.
bool SendAll(SOCKET socket, std::string_view bytes);

enum class TReceiveResult
{
    Data,   // bytes were appended
    Closed, // the other side closed the connection
    Failed  // an error, or nothing arrived within the time
};

// What arrives within `milliseconds`, appended to `into`.
TReceiveResult ReceiveWithin(SOCKET socket, std::string& into, DWORD milliseconds);

// The system's text of a Windows Sockets error, with its number.
std::u16string SocketErrorText(int error);

} // namespace crash
