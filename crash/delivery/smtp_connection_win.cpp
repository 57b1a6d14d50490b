#include "crash/delivery/tls_channel_win.h" // first: it brings Windows Sockets before windows.h

#include "crash/delivery/smtp_connection_win.h"

namespace crash {
namespace {

constexpr DWORD Wait = 7000;

} // namespace

// The members end in reverse order: the TLS channel sends its closing message over the
// socket before the socket closes, and Windows Sockets end last.
struct TSmtpConnection::TImpl
{
    base::Winsock Winsock;
    base::Socket Socket;
    std::u16string Server;
    bool AcceptAny = false;
    std::unique_ptr<TTlsChannel> Tls;
    std::u16string LastError;
};

TSmtpConnection::TSmtpConnection(std::unique_ptr<TImpl> impl) : F(std::move(impl)) {}

TSmtpConnection::~TSmtpConnection() = default;

std::unique_ptr<TSmtpConnection> TSmtpConnection::Open(const TSmtpServer& server, std::u16string& error)
{
    auto impl = std::make_unique<TImpl>();
    in_addr address{};
    std::u16string reason;
    if (!impl->Winsock.Started() || !ResolveHost(server.Host, address, reason)) {
        error = u"Server not found (" + (reason.empty() ? u"no Windows Sockets" : reason) + u")";
        return nullptr;
    }
    impl->Socket = ConnectWithin(address, server.Port, Wait);
    if (!impl->Socket.Valid()) {
        error = u"No connection to server";
        return nullptr;
    }
    impl->Server.assign(server.Host.begin(), server.Host.end());
    impl->AcceptAny = server.AcceptAnyCertificate;
    std::unique_ptr<TSmtpConnection> connection(new TSmtpConnection(std::move(impl)));
    if (server.ImplicitTls && !connection->StartTls()) {
        error = u"SSL failed: " + connection->LastError();
        return nullptr;
    }
    return connection;
}

bool TSmtpConnection::Send(std::string_view bytes)
{
    return F->Tls ? F->Tls->Send(bytes) : SendAll(F->Socket.Get(), bytes);
}

ISmtpTransport::TReceived TSmtpConnection::Receive(std::string& into)
{
    switch (F->Tls ? F->Tls->Receive(into, Wait) : ReceiveWithin(F->Socket.Get(), into, Wait)) {
    case TReceiveResult::Data:
        return TReceived::Data;
    case TReceiveResult::Closed:
        return TReceived::Closed;
    case TReceiveResult::Failed:
        break;
    }
    return TReceived::Failed;
}

bool TSmtpConnection::StartTls()
{
    if (F->Tls)
        return false;
    auto tls = std::make_unique<TTlsChannel>(F->Socket.Get(), F->Server, F->AcceptAny);
    if (!tls->Handshake()) {
        F->LastError = tls->LastError();
        return false;
    }
    F->Tls = std::move(tls);
    return true;
}

const std::u16string& TSmtpConnection::LastError() const
{
    return F->LastError;
}

} // namespace crash
