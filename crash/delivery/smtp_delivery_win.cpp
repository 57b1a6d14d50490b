#include "crash/delivery/smtp_delivery_win.h"

#include "base/utf.h"
#include "crash/delivery/attachment_files_win.h"
#include "crash/delivery/dns_message.h"
#include "crash/delivery/mail_message.h"
#include "crash/delivery/smtp_connection_win.h"
#include "crash/delivery/zip_archive.h"

#include <algorithm>

namespace crash {
namespace {

// This computer's name, as the session greets the server with.
std::string HeloName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    return ::GetComputerNameA(name, &length) && length ? std::string(name, length) : std::string("localhost");
}

TMailHeader HeaderNow(std::u16string_view to, std::u16string_view from, std::u16string_view replyTo,
                      std::u16string_view subject)
{
    TMailHeader header;
    header.To = to;
    header.From = from;
    header.ReplyTo = replyTo;
    header.Subject = subject;
    SYSTEMTIME now{};
    ::GetSystemTime(&now);
    header.Time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    FILETIME stamp{};
    ::GetSystemTimeAsFileTime(&stamp);
    header.Stamp = (uint64_t{stamp.dwHighDateTime} << 32) | stamp.dwLowDateTime;
    return header;
}

TSmtpRequest RequestOf(const TDelivery& delivery)
{
    TSmtpRequest request;
    request.Sender = delivery.From;
    request.Recipients = delivery.Recipients;
    request.ReplyTo = delivery.From;
    request.Subject = delivery.Subject;
    request.Body = delivery.Body;
    return request;
}

// What one delivery's sessions share.
struct TSessions
{
    const TSmtpRequest& Request;
    IProgressAlert* Progress;
    const TPreparedDelivery& Files;
    TOpenedAttachments& Opened;
    std::string ExchangerDomain, Exchanger; // the last look-up, kept for the next recipient
    std::u16string LastError;

    void AreaDone() const
    {
        if (Progress)
            Progress->AreaDone();
    }
    bool Fail(std::u16string text)
    {
        LastError = std::move(text);
        return false;
    }
};

// One attachment: its head, then its Base64 lines, the send window following the bytes. A
// file that cannot be read (it shrank, or the disk failed) gives the mail up.
bool SendFile(TSmtpSession& session, HANDLE file, uint64_t size, const std::u16string& sendAs,
              IProgressAlert* progress)
{
    bool ok = session.SendAttachmentHead(sendAs, MimeTypeOf(sendAs));
    LARGE_INTEGER start{};
    if (ok && !::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
        session.GiveUpAttachment();
        ok = false;
    }
    std::vector<uint8_t> block(MailLineBytes * 16); // whole lines in every piece but the last
    for (uint64_t done = 0; ok && done < size;) {
        const DWORD wanted = static_cast<DWORD>(std::min<uint64_t>(block.size(), size - done));
        DWORD read = 0;
        if (!::ReadFile(file, block.data(), wanted, &read, nullptr) || read != wanted) {
            session.GiveUpAttachment();
            ok = false;
            break;
        }
        ok = session.SendAttachmentPiece({block.data(), read});
        done += read;
        if (progress)
            progress->SetPosition(static_cast<int32_t>(done * 1000 / size));
    }
    if (progress)
        progress->AreaDone();
    return ok;
}

// One SMTP session with `recipients`: the server (the mail exchanger of the first recipient
// without one), the greeting, the mail, its files and its end.
bool SendToMailServer(std::u16string_view recipients, TSessions& s)
{
    const TSmtpRequest& r = s.Request;
    TSmtpServer server{r.Server, 0, r.Ssl, r.AcceptAnyCertificate};
    const bool account = !r.User.empty() || !r.Password.empty();
    if (server.Host.empty()) {
        const std::string domain = MailDomain(base::Utf16ToUtf8(recipients));
        if (domain != s.ExchangerDomain || s.Exchanger.empty()) {
            s.ExchangerDomain = domain;
            s.Exchanger = r.DnsServers ? LookupMailExchangerVia(recipients, *r.DnsServers)
                                       : LookupMailExchanger(recipients);
        }
        s.AreaDone();
        if (s.Exchanger.empty())
            return s.Fail(u"No mail exchanger found for " + base::Utf8ToUtf16(domain));
        server.Host = s.Exchanger;
    }
    server.Port = SmtpPortOf(r.Port, r.Ssl, r.Tls, account);
    std::u16string error;
    const std::unique_ptr<TSmtpConnection> connection = TSmtpConnection::Open(server, error);
    if (!connection)
        return s.Fail(error);
    // Ends (RSET and QUIT, or leaving an unfinished mail unended) before the connection does.
    TSmtpSession session(*connection);
    bool ok = session.Open({HeloName(), r.Ssl, r.Tls, r.User, r.Password});
    s.AreaDone();
    const std::u16string sender = r.Sender.empty() ? std::u16string(recipients) : r.Sender;
    ok = ok &&
         session.SendMail(sender, recipients, HeaderNow(recipients, sender, r.ReplyTo, r.Subject), r.Body);
    s.AreaDone();
    for (size_t k = 0; ok && k < s.Opened.Handles.size(); ++k)
        if (s.Opened.Handles[k])
            ok = SendFile(session, s.Opened.Handles[k].Get(), s.Opened.Sizes[k], s.Files.SendAs[k],
                          s.Progress);
    ok = ok && session.Finalize();
    s.AreaDone();
    if (!ok)
        s.Fail(base::Utf8ToUtf16(session.LastError()) +
               (connection->LastError().empty() ? u"" : u": " + connection->LastError()));
    return ok;
}

} // namespace

bool SendBySmtp(const TSmtpRequest& request, IReportSettings& settings, IProgressAlert* progress,
                const TPreparedDelivery& files, std::u16string* lastError)
{
    const bool direct = request.Server.empty();
    TOpenedAttachments opened;
    if (!OpenAttachmentFiles(progress, settings, files.Files, direct, true, opened))
        return false;
    TSessions sessions{request, progress, files, opened, {}, {}, {}};
    bool delivered = false;
    if (!direct) {
        delivered = SendToMailServer(request.Recipients, sessions);
    } else {
        const std::vector<std::u16string> recipients = MailAddressList(request.Recipients);
        // Every recipient after the first gets the steps of a session of its own in the send
        // window: the look-up, connecting, the mail, each file and its end.
        const int32_t steps = 4 + opened.Opened;
        if (progress)
            for (size_t n = 1; n < recipients.size(); ++n) {
                const auto add = [&](int64_t weight, const std::u16string& text) {
                    progress->AddArea(weight, std::wstring(text.begin(), text.end()));
                };
                add(500, settings.GetMxLookupMsg());
                add(5000, settings.GetConnectMsg());
                add(100, settings.GetSendMailMsg());
                for (size_t k = 0; k < opened.Handles.size(); ++k)
                    if (opened.Handles[k])
                        add(static_cast<int64_t>(opened.Sizes[k] / 16), settings.GetSendAttachMsg());
                add(1000, settings.GetSendFinalizeMsg());
            }
        for (size_t n = 0; n < recipients.size(); ++n) {
            delivered = SendToMailServer(recipients[n], sessions) || delivered;
            if (progress)
                progress->SetCurrentArea(static_cast<int32_t>(1 + (n + 1) * steps));
        }
    }
    // For a developer's debugger; the user sees only the failure message.
    if (!delivered && !sessions.LastError.empty())
        ::OutputDebugStringW(
            (L"Vexcatch: SMTP: " + std::wstring(sessions.LastError.begin(), sessions.LastError.end()))
                .c_str());
    if (lastError)
        *lastError = sessions.LastError;
    return delivered;
}

bool MailToExchangers(const TDelivery& delivery)
{
    if (!delivery.Settings)
        return false;
    TSmtpRequest request = RequestOf(delivery);
    request.Port = 25;
    return SendBySmtp(request, *delivery.Settings, delivery.Progress, delivery.Prepared);
}

bool MailThroughServer(const TDelivery& delivery)
{
    IReportSettings* settings = delivery.Settings;
    if (!settings)
        return false;
    TSmtpRequest request = RequestOf(delivery);
    request.Server = settings->GetSmtpServer();
    request.Port = settings->GetSmtpPort();
    request.Ssl = settings->GetSmtpSsl();
    request.Tls = settings->GetSmtpTls();
    request.User = settings->GetSmtpAccount();
    request.Password = settings->GetSmtpPassword();
    request.AcceptAnyCertificate = settings->GetAcceptAnyCertificate();
    return !request.Server.empty() && SendBySmtp(request, *settings, delivery.Progress, delivery.Prepared);
}

} // namespace crash
