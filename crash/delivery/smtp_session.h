#pragma once
// One SMTP session of a delivery, over a connection the platform provides (plain TCP, or TLS
// from the start or after STARTTLS): the greeting, EHLO (or HELO), STARTTLS, AUTH LOGIN, the
// envelope, the mail and its attachments, the end of the mail and QUIT. A session that ends
// before its mail is begun rolls the server back (RSET) when it goes; one that ends in the
// middle of its mail leaves it unended, so that the server drops it. Platform-free.

#include "crash/delivery/mail_message.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace crash {

// The connection to a mail server. Each call waits a bounded time (7 seconds per wait).
class ISmtpTransport
{
public:
    enum class TReceived
    {
        Data,   // bytes were appended
        Closed, // the server closed the connection
        Failed  // an error, or nothing within the time
    };
    virtual ~ISmtpTransport() = default;
    virtual bool Send(std::string_view bytes) = 0;
    virtual TReceived Receive(std::string& into) = 0;
    // The TLS handshake over the open connection.
    virtual bool StartTls() = 0;
};

struct TSmtpOptions
{
    std::string HeloName;      // this computer's name
    bool ImplicitTls = false;  // the connection is TLS from the start (SmtpSsl)
    bool TlsRequested = false; // STARTTLS is wanted (SmtpTls)
    std::u16string User, Password;
};

// The port of a mail server whose settings give 0: 465 for TLS from the start, 587 for STARTTLS
// with an account, else 25. A port outside 1 to 65535 is none (0).
uint16_t SmtpPortOf(uint32_t port, bool implicitTls, bool tlsRequested, bool account);

class TSmtpSession
{
public:
    explicit TSmtpSession(ISmtpTransport& transport) : FTransport(transport) {}
    ~TSmtpSession();
    TSmtpSession(const TSmtpSession&) = delete;
    TSmtpSession& operator=(const TSmtpSession&) = delete;

    // The greeting, EHLO or HELO, STARTTLS when it is to be used, and AUTH LOGIN when the
    // server offers it and there is an account.
    bool Open(const TSmtpOptions& options);
    // The envelope (at least one recipient must be accepted), DATA, and the header and text
    // part of the mail.
    bool SendMail(std::u16string_view sender, std::u16string_view recipients, const TMailHeader& header,
                  std::u16string_view body);
    // An attachment: its head, then its Base64 lines piece by piece. A file that cannot be
    // read is given up: the mail will not be ended, and the server drops it.
    bool SendAttachmentHead(std::u16string_view sendAs, std::u16string_view mimeType);
    bool SendAttachmentPiece(std::span<const uint8_t> bytes);
    void GiveUpAttachment();
    // The end of the mail and QUIT; true when everything went through.
    bool Finalize();

    const std::string& LastError() const { return FLastError; }

private:
    bool Fail(std::string text);
    bool SendText(std::string_view text);
    bool ReadReply(std::string& reply);
    bool Command(std::string_view text, std::string_view expected, std::string* reply = nullptr);
    bool Hello(std::string& reply);
    std::string Because(std::string_view reply) const;

    ISmtpTransport& FTransport;
    std::string FHeloName, FLastError;
    bool FServerOk = false, FAuthOk = false, FQuitDone = false;
    bool FInData = false; // DATA was accepted and the mail not ended
    // The connection is out of step or gone (no reply, a reply cut off or too long): nothing
    // more is said on it.
    bool FLost = false;
    bool FFinalNeeded = false; // the mail is to be ended (not given up)
};

} // namespace crash
