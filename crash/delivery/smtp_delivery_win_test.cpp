// The SMTP channels against real mail servers on 127.0.0.1 (testing/with_smtp_server.sh:
// aiosmtpd, whose own parser, Python's email package, reads every mail it accepts): STARTTLS
// with AUTH LOGIN, TLS from the start, certificates that verify and ones that do not, and
// direct delivery to the mail exchangers a DNS stand-in names.

#include "crash/delivery/smtp_delivery_win.h"

#include "base/utf.h"
#include "crash/core/intercept/testing/child_process.h"
#include "crash/delivery/testing/peer_records_win.h"
#include "crash/settings/module_settings.h"

#include <gtest/gtest.h>

#include <sstream>

namespace crash {
namespace {

using testing::TReceived;

[[maybe_unused]] ::testing::Environment* const Authority =
    ::testing::AddGlobalTestEnvironment(new testing::TTrustedAuthority("LUMIGATE_SMTP_CA"));

struct TPorts
{
    uint32_t Plain = 0, StartTls = 0, Implicit = 0, SelfSigned = 0, Dns = 0;
};
TPorts Ports()
{
    TPorts p;
    std::istringstream(testing::Env("LUMIGATE_SMTP_PORTS")) >> p.Plain >> p.StartTls >> p.Implicit >>
        p.SelfSigned >> p.Dns;
    return p;
}

std::vector<TReceived> NewMails()
{
    return testing::NewRecords("LUMIGATE_SMTP_RESULTS");
}

TSmtpRequest Request(uint32_t port, bool ssl = false, bool tls = false)
{
    TSmtpRequest r;
    r.Sender = u"Vexcatch <bugs@maker.example>";
    r.Recipients = u"Bugs <bugs@maker.example>";
    r.ReplyTo = r.Sender;
    r.Subject = u"Bug report: \u00dcberlauf";
    r.Body = u"It broke.\r\n.\r\nThe end.";
    r.Server = "localhost";
    r.Port = port;
    r.Ssl = ssl;
    r.Tls = tls;
    return r;
}

bool Send(const TSmtpRequest& request, const TPreparedDelivery& files = {}, std::u16string* error = nullptr)
{
    const base::ComPtr<ReportSettings> settings = ModuleSettingsFor(nullptr);
    return SendBySmtp(request, *settings, nullptr, files, error);
}

TEST(SmtpDelivery, StartTlsLoginAndTheFilesByteForByte)
{
    const std::wstring binary = testing::Beside(L"Bericht \u00c4 \u20ac.bin"),
                       empty = testing::Beside(L"empty.log");
    const std::string data = testing::Awkward(200000);
    testing::WriteWholeFile(binary, data);
    testing::WriteWholeFile(empty, "");
    TPreparedDelivery files;
    files.Files = {std::u16string(binary.begin(), binary.end()), std::u16string(empty.begin(), empty.end()),
                   u"C:\\no such folder\\gone.txt"};
    files.SendAs = {u"Bericht \u00c4 \u20ac.bin", u"empty.log", u"gone.txt"};
    files.Fields = {u"", u"", u""};
    TSmtpRequest request = Request(Ports().StartTls, false, true);
    request.User = u"tester";
    request.Password = u"p\u00e4ssword";
    NewMails();
    std::u16string error;
    ASSERT_TRUE(Send(request, files, &error)) << base::Utf16ToUtf8(error);

    const std::vector<TReceived> mails = NewMails();
    ASSERT_EQ(mails.size(), 1u);
    const TReceived& mail = mails[0];
    EXPECT_EQ(mail.Path, "bugs@maker.example");
    EXPECT_EQ(mail.Field("rcpt").Text, "bugs@maker.example");
    EXPECT_EQ(mail.Field("To").Text, "Bugs <bugs@maker.example>");
    EXPECT_EQ(mail.Field("From").Text, "Vexcatch <bugs@maker.example>");
    EXPECT_EQ(mail.Field("Reply-To").Text, "Vexcatch <bugs@maker.example>");
    EXPECT_EQ(mail.Field("Subject").Text, "Bug report: \xc3\x9c"
                                          "berlauf");
    EXPECT_EQ(mail.Field("body").Text, "It broke.\r\n.\r\nThe end.");
    // The file that is gone is passed over; the empty one goes as an empty attachment.
    ASSERT_EQ(mail.Files.size(), 2u);
    EXPECT_EQ(mail.Files[0].Field, "application/octet-stream");
    EXPECT_EQ(mail.Files[0].Name, "Bericht \xc3\x84 \xe2\x82\xac.bin");
    EXPECT_TRUE(mail.Files[0].Data == data)
        << "the file arrived changed (" << mail.Files[0].Data.size() << " bytes)";
    EXPECT_EQ(mail.Files[1].Name, "empty.log");
    EXPECT_EQ(mail.Files[1].Data, "");
    ::DeleteFileW(binary.c_str());
    ::DeleteFileW(empty.c_str());

    // A wrong password: the server refuses the login, and nothing is sent.
    request.Password = u"wrong";
    EXPECT_FALSE(Send(request, {}, &error));
    EXPECT_NE(error.find(u"Authentication failed"), std::u16string::npos) << base::Utf16ToUtf8(error);
    EXPECT_TRUE(NewMails().empty());
}

TEST(SmtpDelivery, TlsFromTheStartAndTheServersCertificate)
{
    const TPorts ports = Ports();
    NewMails();
    std::u16string error;
    EXPECT_TRUE(Send(Request(ports.Implicit, true), {}, &error)) << base::Utf16ToUtf8(error);
    EXPECT_EQ(NewMails().size(), 1u);

    // A certificate of no trusted authority, and one issued to another name than the one the
    // server was asked by, are refused with their reason, and the mail is not sent.
    EXPECT_FALSE(Send(Request(ports.SelfSigned, true), {}, &error));
    EXPECT_NE(error.find(u"trusted authority"), std::u16string::npos) << base::Utf16ToUtf8(error);
    TSmtpRequest byAddress = Request(ports.Implicit, true);
    byAddress.Server = "127.0.0.1";
    EXPECT_FALSE(Send(byAddress, {}, &error));
    EXPECT_NE(error.find(u"another name"), std::u16string::npos) << base::Utf16ToUtf8(error);
    EXPECT_TRUE(NewMails().empty());

    // The settings' opt-out accepts any certificate.
    TSmtpRequest anyCertificate = Request(ports.SelfSigned, true);
    anyCertificate.AcceptAnyCertificate = true;
    EXPECT_TRUE(Send(anyCertificate, {}, &error)) << base::Utf16ToUtf8(error);
    EXPECT_EQ(NewMails().size(), 1u);
}

TEST(SmtpDelivery, DirectlyToTheExchangerOfEachRecipient)
{
    const TPorts ports = Ports();
    TSmtpRequest request = Request(ports.Plain);
    request.Server.clear();
    request.Recipients = u"Bugs <bugs@maker.example>; boss@maker.example";
    request.DnsServers = std::vector<TDnsServer>{{"127.0.0.1", static_cast<uint16_t>(ports.Dns)}};
    NewMails();
    std::u16string error;
    EXPECT_TRUE(Send(request, {}, &error)) << base::Utf16ToUtf8(error);
    // A session per recipient, each mail to its own recipient.
    const std::vector<TReceived> mails = NewMails();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].Field("rcpt").Text, "bugs@maker.example");
    EXPECT_EQ(mails[0].Field("To").Text, "Bugs <bugs@maker.example>");
    EXPECT_EQ(mails[1].Field("rcpt").Text, "boss@maker.example");

    // A domain the DNS does not know has no exchanger.
    EXPECT_EQ(LookupMailExchangerVia(u"someone@nowhere.example", *request.DnsServers), "");
    EXPECT_EQ(LookupMailExchangerVia(u"someone@maker.example", *request.DnsServers), "localhost");
    request.Recipients = u"someone@nowhere.example";
    EXPECT_FALSE(Send(request, {}, &error));
    EXPECT_NE(error.find(u"No mail exchanger"), std::u16string::npos) << base::Utf16ToUtf8(error);
    // No server answers: the look-up ends after its wait, empty.
    EXPECT_EQ(LookupMailExchangerVia(u"someone@maker.example", {{"127.0.0.1", 9}}), "");
}

TEST(SmtpDelivery, NoServerThereIsAClearFailure)
{
    std::u16string error;
    TSmtpRequest request = Request(1);
    EXPECT_FALSE(Send(request, {}, &error));
    EXPECT_EQ(error, u"No connection to server");
    request.Server = "no-such-host.invalid";
    EXPECT_FALSE(Send(request, {}, &error));
    EXPECT_EQ(error.rfind(u"Server not found (", 0), 0u) << base::Utf16ToUtf8(error);
}

} // namespace
} // namespace crash
