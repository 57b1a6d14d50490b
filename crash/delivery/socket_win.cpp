#include "crash/delivery/socket_win.h"

#include "base/win_handle.h"

namespace crash {
namespace {

// Waits up to `milliseconds` for the socket to become readable (`read`) or writable.
bool WaitFor(SOCKET socket, bool read, DWORD milliseconds)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(socket, &failed);
    timeval limit{static_cast<long>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000};
    // A refused non-blocking connection shows in the exception set, not the writable one.
    const int ready = ::select(0, read ? &set : nullptr, read ? nullptr : &set, &failed, &limit);
    return ready > 0 && FD_ISSET(socket, &set) && !FD_ISSET(socket, &failed);
}

} // namespace

bool WaitReadable(SOCKET socket, DWORD milliseconds)
{
    return WaitFor(socket, true, milliseconds);
}

bool ResolveHost(const std::string& host, in_addr& address, std::u16string& error)
{
    if (::inet_pton(AF_INET, host.c_str(), &address) == 1)
        return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status != 0 || !found) {
        error = SocketErrorText(status != 0 ? status : WSAHOST_NOT_FOUND);
        return false;
    }
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

base::Socket ConnectWithin(const in_addr& address, uint16_t port, DWORD milliseconds)
{
    base::Socket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!socket.Valid())
        return {};
    u_long nonBlocking = 1;
    if (::ioctlsocket(socket.Get(), FIONBIO, &nonBlocking) != 0)
        return {};
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = ::htons(port);
    target.sin_addr = address;
    if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 &&
        ::WSAGetLastError() != WSAEWOULDBLOCK)
        return {};
    if (!WaitFor(socket.Get(), false, milliseconds))
        return {};
    int error = 0, length = sizeof error;
    if (::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
        error != 0)
        return {};
    nonBlocking = 0;
    if (::ioctlsocket(socket.Get(), FIONBIO, &nonBlocking) != 0)
        return {};
    // A server that stops reading must not hold a send for ever either.
    const DWORD limit = milliseconds;
    if (::setsockopt(socket.Get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit),
                     sizeof limit) != 0)
        return {};
    return socket;
}

bool SendAll(SOCKET socket, std::string_view bytes)
{
    while (!bytes.empty()) {
        const int sent =
            ::send(socket, bytes.data(), static_cast<int>(std::min<size_t>(bytes.size(), 65536)), 0);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

TReceiveResult ReceiveWithin(SOCKET socket, std::string& into, DWORD milliseconds)
{
    if (!WaitFor(socket, true, milliseconds))
        return TReceiveResult::Failed;
    char buffer[16384];
    const int got = ::recv(socket, buffer, sizeof buffer, 0);
    if (got < 0)
        return TReceiveResult::Failed;
    if (got == 0)
        return TReceiveResult::Closed;
    into.append(buffer, static_cast<size_t>(got));
    return TReceiveResult::Data;
}

std::u16string SocketErrorText(int error)
{
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const base::LocalMemory owner(text);
    std::wstring result = text ? std::wstring(text, length) : std::wstring();
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' ' ||
                               result.back() == L'.'))
        result.pop_back();
    if (result.empty())
        result = L"error " + std::to_wstring(error);
    else
        result += L", error " + std::to_wstring(error);
    return std::u16string(result.begin(), result.end());
}

} // namespace crash
