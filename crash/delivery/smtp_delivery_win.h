#pragma once
// The mail channels of a delivery over SMTP: through the mail server the settings name
// (SmtpServer with its port, TLS and account), or directly to each recipient's mail exchanger
// (a session per recipient, port 25, no TLS, no login). The report's files go as attachments;
// the send window shows each step.

#include "crash/delivery/delivery_channels_win.h"
#include "crash/delivery/mail_exchanger_win.h"

#include <optional>
#include <string>
#include <vector>

namespace crash {

struct TSmtpRequest
{
    std::u16string Sender, Recipients, ReplyTo, Subject, Body;
    std::string Server; // empty: each recipient's mail exchanger
    uint32_t Port = 0;  // 0: the usual port of the server's kind
    bool Ssl = false, Tls = false, AcceptAnyCertificate = false;
    std::u16string User, Password;
    std::optional<std::vector<TDnsServer>> DnsServers; // for the exchangers; none: the system's
};

// True when the mail reached at least one server. `lastError` (diagnostics, never shown) is
// why the last session failed.
bool SendBySmtp(const TSmtpRequest& request, IReportSettings& settings, IProgressAlert* progress,
                const TPreparedDelivery& files, std::u16string* lastError = nullptr);

bool MailToExchangers(const TDelivery& delivery);
bool MailThroughServer(const TDelivery& delivery);

} // namespace crash
