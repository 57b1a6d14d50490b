// The SMTP channels against real mail servers on 127.0.0.1 (testing/with_smtp_server.sh:
// aiosmtpd, whose own parser, Python's email package, reads every mail it accepts): STARTTLS
// with AUTH LOGIN, TLS from the start, certificates that verify and ones that do not, and
// direct delivery to the mail exchangers a DNS stand-in names. And the user's mail programs,
// as stand-ins that record what they were given: a mail client behind Simple MAPI (mapi32.dll
// beside the test) and the program registered for mailto links.

#include "crash/delivery/mail_client_win.h"
#include "crash/delivery/smtp_delivery_win.h"

#include "base/com_object.h"
#include "base/utf.h"
#include "base/win_handle.h"
#include "crash/core/intercept/testing/child_process.h"
#include "crash/delivery/testing/peer_records_win.h"
#include "crash/settings/module_settings.h"

#include <gtest/gtest.h>

#include <mapi.h>

#include <sstream>

namespace crash {
namespace {

using testing::TReceived;

[[maybe_unused]] ::testing::Environment* const Authority =
    ::testing::AddGlobalTestEnvironment(new testing::TTrustedAuthority("LUMIGATE_SMTP_CA"));

struct TPorts
{
    uint32_t Plain = 0, StartTls = 0, Implicit = 0, SelfSigned = 0, Dns = 0, Silent = 0, Closing = 0;
};
TPorts Ports()
{
    TPorts p;
    std::istringstream(testing::Env("LUMIGATE_SMTP_PORTS")) >> p.Plain >> p.StartTls >> p.Implicit >>
        p.SelfSigned >> p.Dns >> p.Silent >> p.Closing;
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

    // A domain the DNS does not know has no exchanger, and no mail goes.
    request.Recipients = u"someone@nowhere.example";
    EXPECT_FALSE(Send(request, {}, &error));
    EXPECT_NE(error.find(u"No mail exchanger"), std::u16string::npos) << base::Utf16ToUtf8(error);
}

// A send window that writes down its areas and steps (positions only as the last one of a step).
class TRecordingProgress final : public base::ComObject<IProgressAlert>
{
public:
    std::vector<std::string> Steps;
    std::wstring STDMETHODCALLTYPE GetTitle() override { return L""; }
    void STDMETHODCALLTYPE SetTitle(const std::wstring&) override {}
    int32_t STDMETHODCALLTYPE GetPosition() override { return FPosition; }
    void STDMETHODCALLTYPE SetPosition(int32_t value) override { FPosition = value; }
    void STDMETHODCALLTYPE AddArea(int64_t weight, const std::wstring&) override
    {
        Steps.push_back("area " + std::to_string(weight));
    }
    void STDMETHODCALLTYPE ClearAreas() override { Steps.push_back("clear"); }
    void STDMETHODCALLTYPE AreaDone() override
    {
        Steps.push_back(FPosition ? "done at " + std::to_string(FPosition) : "done");
        FPosition = 0;
    }
    int32_t STDMETHODCALLTYPE GetCurrentArea() override { return 0; }
    void STDMETHODCALLTYPE SetCurrentArea(int32_t value) override
    {
        Steps.push_back("current " + std::to_string(value));
    }
    void STDMETHODCALLTYPE ProcessMessages() override {}
    bool STDMETHODCALLTYPE Show(HWND, bool) override { return true; }
    void STDMETHODCALLTYPE Close() override {}

private:
    int32_t FPosition = 0;
};

TEST(SmtpDelivery, EachRecipientOfADirectDeliveryHasItsOwnSteps)
{
    const TPorts ports = Ports();
    const std::wstring file = testing::Beside(L"steps.bin");
    testing::WriteWholeFile(file, std::string(16000, 'x'));
    TPreparedDelivery files;
    files.Files = {std::u16string(file.begin(), file.end())};
    files.SendAs = {u"steps.bin"};
    files.Fields = {u""};
    TSmtpRequest request = Request(ports.Plain);
    request.Server.clear();
    request.Recipients = u"bugs@maker.example, boss@maker.example";
    request.DnsServers = std::vector<TDnsServer>{{"127.0.0.1", static_cast<uint16_t>(ports.Dns)}};
    const base::ComPtr<TRecordingProgress> progress = base::MakeCom<TRecordingProgress>();
    const base::ComPtr<ReportSettings> settings = ModuleSettingsFor(nullptr);
    NewMails();
    ASSERT_TRUE(SendBySmtp(request, *settings, progress.Get(), files));
    EXPECT_EQ(NewMails().size(), 2u);
    // The preparation, then per recipient: the look-up, connecting, the mail, the file (its
    // position at the end) and the end of the mail; after each, the next recipient's first step.
    EXPECT_EQ(progress->Steps,
              (std::vector<std::string>{
                  "clear", "area 500",     "area 500",     "area 500",  "area 100",  "area 1000", "area 1000",
                  "done",  "area 500",     "area 5000",    "area 100",  "area 1000", "area 1000", "done",
                  "done",  "done",         "done at 1000", "done",      "current 6", "done",      "done",
                  "done",  "done at 1000", "done",         "current 11"}));
    ::DeleteFileW(file.c_str());
}

TEST(SmtpDelivery, TheExchangerLookUpOnGoodAndBrokenAnswers)
{
    const std::vector<TDnsServer> dns{{"127.0.0.1", static_cast<uint16_t>(Ports().Dns)}};
    const auto exchanger = [&](const char16_t* address) { return LookupMailExchangerVia(address, dns); };
    EXPECT_EQ(exchanger(u"Bugs <someone@maker.example>"), "localhost"); // the first of two
    EXPECT_EQ(exchanger(u"someone@alias.maker.example"), "localhost");  // behind a CNAME
    EXPECT_EQ(exchanger(u"someone@backup.example"), "localhost");       // the preferred one, listed second
    // The domain cut to its last three labels when the whole one has none.
    EXPECT_EQ(exchanger(u"someone@deep.down.alias.maker.example"), "localhost");
    // Answers cut short, with a pointer loop, to another query, none at all, no such domain.
    for (const char16_t* address : {u"a@cut.example", u"a@loop.example", u"a@wrong-id.example",
                                    u"a@silent.example", u"a@nowhere.example", u"no address"})
        EXPECT_EQ(exchanger(address), "") << base::Utf16ToUtf8(address);
    // No server there at all.
    EXPECT_EQ(LookupMailExchangerVia(u"someone@maker.example", {{"127.0.0.1", 9}}), "");
    // The registry's list, the oldest systems' source: "DhcpNameServer" before "NameServer".
    const wchar_t* const key = L"Software\\Lumigate tests\\Tcpip";
    {
        struct TRemoved
        {
            ~TRemoved() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Lumigate tests"); }
        } removed;
        HKEY created = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &created,
                                    nullptr),
                  ERROR_SUCCESS);
        const base::RegistryKey opened(created);
        const auto set = [&](const wchar_t* name, const std::wstring& value) {
            return ::RegSetValueExW(
                       opened.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
        };
        ASSERT_TRUE(set(L"NameServer", L"10.0.0.1 10.0.0.2"));
        ASSERT_TRUE(set(L"DhcpNameServer", L""));
        std::vector<TDnsServer> listed = RegistryDnsServers(key);
        ASSERT_EQ(listed.size(), 2u);
        EXPECT_EQ(listed[1].Address, "10.0.0.2");
        ASSERT_TRUE(set(L"DhcpNameServer", L"192.168.1.1,192.168.1.2"));
        listed = RegistryDnsServers(key);
        ASSERT_EQ(listed.size(), 2u);
        EXPECT_EQ(listed[0].Address, "192.168.1.1");
        EXPECT_EQ(listed[0].Port, 53);
    }
    EXPECT_TRUE(RegistryDnsServers(key).empty());
    // The system's own list: addresses only, none twice.
    const std::vector<TDnsServer> system = SystemDnsServers();
    for (size_t k = 0; k < system.size(); ++k) {
        EXPECT_EQ(system[k].Port, 53);
        EXPECT_EQ(system[k].Address.find_first_not_of("0123456789."), std::string::npos) << system[k].Address;
        for (size_t j = 0; j < k; ++j)
            EXPECT_NE(system[j].Address, system[k].Address);
    }
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

// A server that never says a word is given up after the reply limit; one that closes the
// connection in the middle of a mail's data has not taken the mail.
TEST(SmtpDelivery, ASilentServerAndOneThatBreaksOffInTheMail)
{
    std::u16string error;
    EXPECT_FALSE(Send(Request(Ports().Silent), {}, &error));
    EXPECT_EQ(error, u"No greeting from the server: No reply from the server");
    const std::wstring file = testing::Beside(L"large.bin");
    testing::WriteWholeFile(file, testing::Awkward(300000));
    TPreparedDelivery files;
    files.Files = {std::u16string(file.begin(), file.end())};
    files.SendAs = {u"large.bin"};
    files.Fields = {u""};
    EXPECT_FALSE(Send(Request(Ports().Closing), files, &error));
    EXPECT_FALSE(error.empty());
    ::DeleteFileW(file.c_str());
}

// What the mail client stand-in was given, line by line; it answers with `answer`.
std::vector<std::string> MapiCall(TMailClientResult expected, ULONG answer, bool hidden,
                                  const std::u16string& recipients, const std::wstring& file)
{
    const std::wstring log = testing::Beside(L"mapi32.log"), answerFile = testing::Beside(L"mapi32.answer");
    ::DeleteFileW(log.c_str());
    testing::WriteWholeFile(answerFile, std::to_string(answer));
    EXPECT_EQ(SendByMapi(recipients, u"Fehler \u00dc", u"It broke.", hidden, nullptr, {u"report.txt"},
                         {std::u16string(file.begin(), file.end())}),
              expected);
    ::DeleteFileW(answerFile.c_str());
    std::vector<std::string> lines;
    std::istringstream in(testing::ReadWholeFile(log));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(MailClient, SimpleMapiGetsTheMailItsRecipientsAndFiles)
{
    const std::wstring file = testing::Beside(L"report.txt");
    testing::WriteWholeFile(file, "report");
    const std::string path = base::Utf16ToUtf8(std::u16string(file.begin(), file.end()));
    // Hidden with recipients: sent without a dialog. Each recipient as its name and "SMTP:"
    // with its address; the texts in the 8-bit code page.
    EXPECT_EQ(
        MapiCall(TMailClientResult::Delivered, 0, true, u"Bugs <bugs@maker.example>; boss@maker.example",
                 file),
        (std::vector<std::string>{"session 0", "window 0", "flags 0", "reserved 0", "subject Fehler \xdc",
                                  "body It broke.", "recipient 1 Bugs | SMTP:bugs@maker.example",
                                  "recipient 1 boss@maker.example | SMTP:boss@maker.example",
                                  "file -1 " + path + " | report.txt"}));
    // Shown, or without recipients: the user sees the mail first (logon and dialog).
    EXPECT_EQ(MapiCall(TMailClientResult::Delivered, 0, false, u"bugs@maker.example", file).at(2), "flags 9");
    EXPECT_EQ(MapiCall(TMailClientResult::Delivered, 0, true, u"", file).at(2), "flags 9");
    // The user cancelled; the client failed.
    MapiCall(TMailClientResult::Cancelled, MAPI_USER_ABORT, false, u"bugs@maker.example", file);
    MapiCall(TMailClientResult::Failed, MAPI_E_FAILURE, false, u"bugs@maker.example", file);
    ::DeleteFileW(file.c_str());
}

// The registered command for mailto links for the time of a test, then the one before.
class TMailtoCommand
{
public:
    explicit TMailtoCommand(const std::wstring& command)
    {
        HKEY key = nullptr;
        ::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"mailto\\shell\\open\\command", 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, &key, nullptr);
        FKey.Reset(key);
        wchar_t old[2048] = L"";
        DWORD size = sizeof old;
        FHad = ::RegQueryValueExW(FKey.Get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(old),
                                  &size) == ERROR_SUCCESS;
        FOld = old;
        Set(command);
    }
    ~TMailtoCommand()
    {
        if (FHad)
            Set(FOld);
        else
            ::RegDeleteValueW(FKey.Get(), nullptr);
    }
    TMailtoCommand(const TMailtoCommand&) = delete;
    TMailtoCommand& operator=(const TMailtoCommand&) = delete;

private:
    void Set(const std::wstring& value)
    {
        ::RegSetValueExW(FKey.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    base::RegistryKey FKey;
    bool FHad = false;
    std::wstring FOld;
};

TEST(MailClient, TheMailtoLinkStartsTheRegisteredProgram)
{
    const std::wstring log = testing::Beside(L"mailto_recorder.log");
    ::DeleteFileW(log.c_str());
    const std::wstring program = testing::Beside(L"mailto_recorder.exe");
    const TMailtoCommand command(L"\"" + program + L"\" -compose \"%1\"");
    ASSERT_EQ(MailtoCommand(),
              u"\"" + std::u16string(program.begin(), program.end()) + u"\" -compose \"%1\"");
    ASSERT_TRUE(
        SendByMailto(u"bugs@maker.example; boss@maker.example", u"Fehler \u00dc", u"line 1\r\nline 2"));
    std::string line;
    for (int waited = 0; line.empty() && waited < 600; ++waited, ::Sleep(50))
        line = testing::ReadWholeFile(log);
    EXPECT_EQ(line, "\"" + base::Utf16ToUtf8(std::u16string(program.begin(), program.end())) +
                        "\" -compose \"mailto:bugs@maker.example%2Cboss@maker.example?subject=Fehler%20%C3%9C"
                        "&body=line%201%0D%0Aline%202\"");
    ::DeleteFileW(log.c_str());
}

} // namespace
} // namespace crash
