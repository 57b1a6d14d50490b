#include "crash/delivery/smtp_session.h"

#include "base/base64.h"
#include "base/utf.h"
#include "crash/delivery/mail_address.h"
#include "crash/delivery/smtp_reply.h"

namespace crash {
namespace {

// Data goes in pieces of at most this size.
constexpr size_t MaxPiece = 1024;
// A reply longer than this is no SMTP server's.
constexpr size_t MaxReply = 64 * 1024;

// The reply's first line for an error text, cut to a readable length.
std::string Line(std::string_view reply)
{
    return " (" + std::string(SmtpFirstLine(reply).substr(0, 200)) + ")";
}

// Only the end of a session may be answered by the server closing the connection: a close in
// answer to anything else means the command was not carried out.
bool EndsSession(std::string_view command)
{
    return command == "QUIT" || command == "RSET";
}

} // namespace

uint16_t SmtpPortOf(uint32_t port, bool implicitTls, bool tlsRequested, bool account)
{
    if (port == 0)
        return implicitTls ? 465 : tlsRequested && account ? 587 : 25;
    return port <= 65535 ? static_cast<uint16_t>(port) : 0;
}

TSmtpSession::~TSmtpSession()
{
    // A mail that was begun but not ended is not ended now: the server would deliver it cut
    // short. Closing the connection in the middle of it makes the server drop it, and
    // anything sent now would only be more of it.
    if (FInData)
        return;
    if (FServerOk && !FQuitDone && !FLost) {
        Command("RSET", "250");
        if (!FLost) // the reset may find the connection gone
            Command("QUIT", "221");
    }
}

bool TSmtpSession::Fail(std::string text)
{
    FLastError = std::move(text);
    return false;
}

bool TSmtpSession::SendText(std::string_view text)
{
    while (!text.empty()) {
        const std::string_view piece = text.substr(0, MaxPiece);
        if (!FTransport.Send(piece))
            return Fail("Sending failed");
        text.remove_prefix(piece.size());
    }
    return true;
}

// A whole reply; a connection the server closed without a word counts as its answer.
bool TSmtpSession::ReadReply(std::string& reply)
{
    reply.clear();
    while (!SmtpReplyComplete(reply)) {
        switch (FTransport.Receive(reply)) {
        case ISmtpTransport::TReceived::Data:
            if (reply.size() > MaxReply) {
                FLost = true;
                return Fail("The server's reply is too long");
            }
            break;
        case ISmtpTransport::TReceived::Closed:
            FLost = true;
            return reply.empty() || Fail("The server closed the connection");
        case ISmtpTransport::TReceived::Failed:
            FLost = true;
            return Fail("No reply from the server");
        }
    }
    return true;
}

bool TSmtpSession::Command(std::string_view text, std::string_view expected, std::string* reply)
{
    std::string received;
    const bool answered = SendText(std::string(text) + "\r\n") && ReadReply(received);
    if (reply)
        *reply = received;
    if (!answered)
        return false;
    if (received.empty())
        return EndsSession(text) || Fail("The server closed the connection");
    return SmtpReplyIs(received, expected) || Fail("Unexpected reply" + Line(received));
}

// Why a step failed: the server's reply, or what went wrong before there was one.
std::string TSmtpSession::Because(std::string_view reply) const
{
    return reply.empty() || FLost ? ": " + FLastError : Line(reply);
}

bool TSmtpSession::Hello(std::string& reply)
{
    return Command("EHLO " + FHeloName, "250", &reply) ||
           (!FLost && Command("HELO " + FHeloName, "250", &reply));
}

bool TSmtpSession::Open(const TSmtpOptions& options)
{
    FHeloName = options.HeloName;
    std::string reply;
    if (!ReadReply(reply))
        return Fail("No greeting from the server" + Because(reply));
    if (!SmtpReplyIs(reply, "220"))
        return Fail("No greeting from the server" + Line(reply));
    if (!Hello(reply))
        return Fail("HELO failed" + Because(reply));
    FServerOk = true;
    TEhloOffers offers = ReadEhloReply(reply);
    const bool account = !options.User.empty() || !options.Password.empty();
    if (!options.ImplicitTls) {
        // Asked for TLS, the session does not go on without it: a server (or someone on the
        // way) that offers no STARTTLS must not see the account or the report in clear text.
        if (options.TlsRequested && !offers.StartTls)
            return Fail("The server offers no STARTTLS");
        if (offers.StartTls && (options.TlsRequested || (!options.User.empty() && !offers.Auth))) {
            if (!Command("STARTTLS", "220", &reply))
                return Fail("TLS failed" + Because(reply));
            if (!FTransport.StartTls()) {
                // The connection is in neither state now: nothing more is said on it.
                FServerOk = false;
                return Fail("TLS failed");
            }
            if (!Hello(reply))
                return Fail("2nd HELO failed" + Because(reply));
            offers = ReadEhloReply(reply);
        }
    }
    FAuthOk = true;
    if (offers.AuthLogin && account) {
        FAuthOk = Command("AUTH LOGIN", "334", &reply) &&
                  Command(base::Base64(base::Utf16ToUtf8(options.User)), "334", &reply) &&
                  Command(base::Base64(base::Utf16ToUtf8(options.Password)), "235", &reply);
        if (!FAuthOk)
            return Fail("Authentication failed" + Because(reply));
    }
    return true;
}

bool TSmtpSession::SendMail(std::u16string_view sender, std::u16string_view recipients,
                            const TMailHeader& header, std::u16string_view body)
{
    if (!FAuthOk)
        return false;
    const auto command = [](std::u16string_view address) {
        return base::Utf16ToUtf8(CommandAddress(address));
    };
    if (!Command("MAIL FROM:" + command(sender), "250"))
        return false;
    bool accepted = false;
    for (const std::u16string& recipient : MailAddressList(recipients))
        accepted = Command("RCPT TO:" + command(recipient), "250") || accepted;
    if (!accepted)
        return Fail("No recipient was accepted" + (FLastError.empty() ? "" : ": " + FLastError));
    if (!Command("DATA", "354"))
        return false;
    FInData = FFinalNeeded = true;
    return SendText(MailHeadAndBody(header, body));
}

bool TSmtpSession::SendAttachmentHead(std::u16string_view sendAs, std::u16string_view mimeType)
{
    return FFinalNeeded && SendText(MailAttachmentHead(sendAs, mimeType));
}

bool TSmtpSession::SendAttachmentPiece(std::span<const uint8_t> bytes)
{
    return FFinalNeeded && SendText(MailBase64Lines(bytes));
}

void TSmtpSession::GiveUpAttachment()
{
    FFinalNeeded = false;
    Fail("An attachment could not be read");
}

bool TSmtpSession::Finalize()
{
    if (!FFinalNeeded)
        return false; // the mail was never begun, or given up: the session ends with the object
    FFinalNeeded = false;
    bool ok = SendText(MailEnd()) && Command("\r\n.", "250");
    FInData = false;
    if (FServerOk && !FQuitDone && !FLost) {
        FQuitDone = true;
        const std::string cause = FLastError; // a failed end of the mail is what counts
        const bool quit = Command("QUIT", "221");
        if (!ok)
            FLastError = cause;
        ok = quit && ok;
    }
    return ok;
}

} // namespace crash
