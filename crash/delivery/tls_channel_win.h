#pragma once
// TLS over a connected socket, as a client, through Schannel: the handshake, the server's
// certificate checked (a chain to a trusted root, issued to the name the server was asked
// by) unless the settings accept any certificate, records encrypted piece by piece and
// decrypted as they arrive (a record that came in parts waits for the rest; bytes of the
// next record are kept; a renegotiation runs the handshake again), and the closing message
// when the channel ends.

#include "crash/delivery/socket_win.h"

#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>

#include <string>
#include <string_view>

namespace crash {

class TTlsChannel
{
public:
    // `socket` stays the caller's and must outlive the channel.
    TTlsChannel(SOCKET socket, std::u16string serverName, bool acceptAnyCertificate);
    ~TTlsChannel();
    TTlsChannel(const TTlsChannel&) = delete;
    TTlsChannel& operator=(const TTlsChannel&) = delete;

    // False with LastError() when no secure channel to a verified server came about.
    bool Handshake();
    bool Send(std::string_view bytes);
    TReceiveResult Receive(std::string& into, DWORD milliseconds);

    const std::u16string& LastError() const { return FLastError; }

private:
    bool Fail(std::u16string text);
    bool HandshakeLoop(DWORD milliseconds);
    bool ServerIsVerified();
    void Shutdown();

    SOCKET FSocket;
    std::wstring FServer;
    bool FAcceptAny;
    CredHandle FCreds{};
    bool FCredsValid = false;
    CtxtHandle FContext{};
    bool FContextValid = false;
    bool FEstablished = false;
    SecPkgContext_StreamSizes FSizes{};
    std::string FReceived; // received bytes not yet decrypted: the rest of a record, or the next
    std::u16string FLastError;
};

} // namespace crash
