// The SMTP session against a real mail server on 127.0.0.1 (testing/with_smtp_server.sh:
// aiosmtpd), over a plain socket: what the server's own parser (Python's email package) finds
// in the mail it accepted, header by header and byte by byte.

#include "crash/delivery/smtp_session.h"

#include "base/utf.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace crash {
namespace {

class TSocketTransport : public ISmtpTransport
{
public:
    explicit TSocketTransport(int port) : FSocket(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        Connected = ::connect(FSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~TSocketTransport() override { ::close(FSocket); }
    bool Send(std::string_view bytes) override
    {
        return ::send(FSocket, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    TReceived Receive(std::string& into) override
    {
        pollfd wait{FSocket, POLLIN, 0};
        if (::poll(&wait, 1, 7000) != 1)
            return TReceived::Failed;
        char buffer[4096];
        const ssize_t got = ::recv(FSocket, buffer, sizeof buffer, 0);
        if (got < 0)
            return TReceived::Failed;
        if (got == 0)
            return TReceived::Closed;
        into.append(buffer, static_cast<size_t>(got));
        return TReceived::Data;
    }
    bool StartTls() override { return false; }
    bool Connected = false;

private:
    int FSocket;
};

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string Unhexed(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The mail the server recorded as its `number`-th: name → value, and the files by name.
struct TMail
{
    std::string Sender;
    std::vector<std::pair<std::string, std::string>> Fields;
    std::vector<std::pair<std::string, std::string>> Files;
};
TMail Recorded(int number)
{
    const std::string folder = Env("LUMIGATE_SMTP_RESULTS") + "/" + std::to_string(number) + "/";
    std::istringstream lines(ReadFile(folder + "manifest"));
    TMail mail;
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> cells;
        std::istringstream cellStream(line);
        for (std::string cell; std::getline(cellStream, cell, '\t');)
            cells.push_back(cell);
        cells.resize(4);
        if (cells[0] == "path")
            mail.Sender = Unhexed(cells[1]);
        else if (cells[0] == "field")
            mail.Fields.emplace_back(Unhexed(cells[1]), Unhexed(cells[3]));
        else if (cells[0] == "file")
            mail.Files.emplace_back(Unhexed(cells[2]), ReadFile(folder + cells[3]));
    }
    return mail;
}

TEST(SmtpPeer, AMailWithAnAttachmentArrivesAsItWasWritten)
{
    const int port = std::atoi(Env("LUMIGATE_SMTP_PORT").c_str());
    ASSERT_NE(port, 0) << "run through testing/with_smtp_server.sh";
    TSocketTransport connection(port);
    ASSERT_TRUE(connection.Connected);
    std::string file;
    for (int i = 0; i < 70000; ++i)
        file.push_back(static_cast<char>((i * 7919) >> 3));
    file += "\r\n.\r\n";
    const std::u16string body = u"Hallo J\u00fcrgen,\r\n.\r\n.hidden line\nend";
    {
        TSmtpSession session(connection);
        ASSERT_TRUE(session.Open({"VM-01", false, false, u"tester", u"p\u00e4ssword"}))
            << session.LastError();
        TMailHeader header;
        header.To = u"Bugs <bugs@maker.example>";
        header.From = u"J\u00fcrgen <me@user.example>";
        header.Subject = u"Lumigate: \u00dcbel";
        header.Time = {2026, 12, 8, 9, 5, 3};
        ASSERT_TRUE(session.SendMail(header.From, u"bugs@maker.example; boss@maker.example", header, body))
            << session.LastError();
        ASSERT_TRUE(session.SendAttachmentHead(u"r\u00e9sum\u00e9 \u20ac.bin", u"application/octet-stream"));
        const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(file.data()), file.size());
        // In pieces of whole lines, as the client reads a file.
        ASSERT_TRUE(session.SendAttachmentPiece(bytes.subspan(0, 255 * 100)));
        ASSERT_TRUE(session.SendAttachmentPiece(bytes.subspan(255 * 100)));
        EXPECT_TRUE(session.Finalize()) << session.LastError();
    }
    const TMail mail = Recorded(1);
    EXPECT_EQ(mail.Sender, "me@user.example");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"rcpt", "bugs@maker.example"},
        {"rcpt", "boss@maker.example"},
        {"To", "Bugs <bugs@maker.example>"},
        {"From", "J\xc3\xbcrgen <me@user.example>"},
        {"Reply-To", "J\xc3\xbcrgen <me@user.example>"},
        {"Subject", "Lumigate: \xc3\x9c"
                    "bel"},
        {"body", "Hallo J\xc3\xbcrgen,\r\n.\r\n.hidden line\r\nend"}};
    EXPECT_EQ(mail.Fields, expected);
    ASSERT_EQ(mail.Files.size(), 1u);
    EXPECT_EQ(mail.Files[0].first, "r\xc3\xa9sum\xc3\xa9 \xe2\x82\xac.bin");
    EXPECT_TRUE(mail.Files[0].second == file) << "the attachment arrived changed";
}

TEST(SmtpPeer, AWrongPasswordIsRefused)
{
    TSocketTransport connection(std::atoi(Env("LUMIGATE_SMTP_PORT").c_str()));
    TSmtpSession session(connection);
    EXPECT_FALSE(session.Open({"VM-01", false, false, u"tester", u"wrong"}));
    EXPECT_TRUE(session.LastError().starts_with("Authentication failed (535")) << session.LastError();
}

} // namespace
} // namespace crash
