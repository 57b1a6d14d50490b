#pragma once
// Sockets of a delivery's mail channels (their owners are base/win_socket.h's): a TCP
// connection made within a time limit, and sending and receiving that wait a bounded time.
// Every wait ends: a server that never answers costs seconds, not the delivery.
//
// Include this header before <windows.h> (Windows Sockets 2 must come before the old
// declarations windows.h brings).

#include "base/win_socket.h"

#include <string>
#include <string_view>

namespace crash {

// The IPv4 address of a dotted address or a host name; false when the name is not known
// (`error` holds the system's text).
bool ResolveHost(const std::string& host, in_addr& address, std::u16string& error);

// A TCP connection to `address`:`port`, made within `milliseconds`; the socket blocks again
// afterwards, and a send that waits longer than that fails. Invalid when no connection was
// made.
base::Socket ConnectWithin(const in_addr& address, uint16_t port, DWORD milliseconds);

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
