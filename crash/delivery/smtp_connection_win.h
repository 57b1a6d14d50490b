#pragma once
// The connection of an SMTP session to a mail server: TCP within 7 seconds, TLS from the start
// (SmtpSsl) or when the session asks for it after STARTTLS, and every wait for the server
// bounded by 7 seconds.

#include "crash/delivery/smtp_session.h"

#include <cstdint>
#include <memory>
#include <string>

namespace crash {

struct TSmtpServer
{
    std::string Host; // a name or a dotted address
    uint16_t Port = 25;
    bool ImplicitTls = false;
    bool AcceptAnyCertificate = false; // the settings' opt-out of the certificate check
};

class TSmtpConnection : public ISmtpTransport
{
public:
    // Null with `error` ("Server not found (...)", "No connection to server", "SSL failed: ...").
    static std::unique_ptr<TSmtpConnection> Open(const TSmtpServer& server, std::u16string& error);
    ~TSmtpConnection() override;

    bool Send(std::string_view bytes) override;
    TReceived Receive(std::string& into) override;
    bool StartTls() override;
    // Why the TLS handshake failed.
    const std::u16string& LastError() const;

private:
    struct TImpl;
    explicit TSmtpConnection(std::unique_ptr<TImpl> impl);
    std::unique_ptr<TImpl> F;
};

} // namespace crash
