#include "crash/delivery/smtp_session.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace crash {
namespace {

// A mail server that answers from a script and writes down what it was sent.
class TScriptedServer : public ISmtpTransport
{
public:
    explicit TScriptedServer(std::initializer_list<const char*> replies)
        : FReplies(replies.begin(), replies.end())
    {
    }
    bool Send(std::string_view bytes) override
    {
        EXPECT_LE(bytes.size(), 1024u);
        Sent += bytes;
        return true;
    }
    TReceived Receive(std::string& into) override
    {
        if (FReplies.empty())
            return TReceived::Failed;
        const std::string reply = FReplies.front();
        FReplies.pop_front();
        if (reply == "(closed)")
            return TReceived::Closed;
        // Replies come in pieces, as over a network.
        into += reply.substr(0, 5);
        if (reply.size() > 5)
            FReplies.push_front(reply.substr(5));
        return TReceived::Data;
    }
    bool StartTls() override
    {
        Sent += "<TLS>";
        return TlsWorks;
    }
    void Script(const std::deque<std::string>& replies) { FReplies = replies; }
    std::string Sent;
    bool TlsWorks = true;

private:
    std::deque<std::string> FReplies;
};

TMailHeader Header()
{
    TMailHeader header;
    header.To = u"bugs@maker.example";
    header.From = u"me@user.example";
    header.Subject = u"Bug";
    return header;
}

TEST(SmtpSession, StartTlsAuthenticationTheEnvelopeAndAnAttachment)
{
    TScriptedServer server{"220 mail ESMTP\r\n",
                           "250-mail\r\n250-STARTTLS\r\n250 SIZE\r\n",
                           "220 go ahead\r\n",
                           "250-mail\r\n250-AUTH=LOGIN\r\n250 AUTH PLAIN LOGIN\r\n",
                           "334 VXNlcm5hbWU6\r\n",
                           "334 UGFzc3dvcmQ6\r\n",
                           "235 ok\r\n",
                           "250 sender ok\r\n",
                           "550 no such user\r\n",
                           "250 ok\r\n",
                           "354 go\r\n",
                           "250 queued\r\n",
                           "(closed)"};
    {
        TSmtpSession session(server);
        ASSERT_TRUE(session.Open({"VM-01", false, true, u"me", u"p\u00e4ss"})) << session.LastError();
        ASSERT_TRUE(session.SendMail(u"Me <me@user.example>", u"nobody@maker.example; bugs@maker.example",
                                     Header(), u"Hi"))
            << session.LastError();
        const std::vector<uint8_t> file(300, 'x');
        EXPECT_TRUE(session.SendAttachmentHead(u"a.txt", u"text/plain"));
        EXPECT_TRUE(session.SendAttachmentPiece(file));
        EXPECT_TRUE(session.Finalize()) << session.LastError();
    }
    const std::string& s = server.Sent;
    EXPECT_EQ(
        s.substr(0, s.find("Subject:")),
        "EHLO VM-01\r\nSTARTTLS\r\n<TLS>EHLO VM-01\r\nAUTH LOGIN\r\nbWU=\r\ncMOkc3M=\r\n"
        "MAIL FROM:<me@user.example>\r\nRCPT TO:<nobody@maker.example>\r\nRCPT TO:<bugs@maker.example>\r\n"
        "DATA\r\nTo: <bugs@maker.example>\r\nFrom: <me@user.example>\r\nReply-To: <me@user.example>\r\n");
    EXPECT_TRUE(s.ends_with("--Tolvaris_multipart_boundary--\r\n\r\n.\r\nQUIT\r\n")) << s;
    EXPECT_EQ(s.find("RSET"), std::string::npos);
}

TEST(SmtpSession, AskedForTlsItDoesNotGoOnInClearText)
{
    TScriptedServer server{"220 mail\r\n", "250-mail\r\n250 AUTH LOGIN\r\n", "250 reset\r\n", "221 bye\r\n"};
    {
        TSmtpSession session(server);
        EXPECT_FALSE(session.Open({"VM-01", false, true, u"me", u"secret"}));
        EXPECT_EQ(session.LastError(), "The server offers no STARTTLS");
        EXPECT_FALSE(session.SendMail(u"me@x", u"bugs@y", Header(), u"Hi"));
    }
    EXPECT_EQ(server.Sent, "EHLO VM-01\r\nRSET\r\nQUIT\r\n");
}

TEST(SmtpSession, HeloWhenEhloIsRefusedAndNoLoginWithoutAuth)
{
    TScriptedServer server{"220 old mail\r\n", "500 what?\r\n", "250 hello\r\n",  "250 ok\r\n",
                           "250 ok\r\n",       "354 go\r\n",    "250 queued\r\n", "221 bye\r\n"};
    {
        TSmtpSession session(server);
        ASSERT_TRUE(session.Open({"VM-01", false, false, u"me", u"secret"})) << session.LastError();
        ASSERT_TRUE(session.SendMail(u"me@x", u"bugs@y", Header(), u"Hi"));
        EXPECT_TRUE(session.Finalize());
    }
    EXPECT_TRUE(server.Sent.starts_with(
        "EHLO VM-01\r\nHELO VM-01\r\nMAIL FROM:<me@x>\r\nRCPT TO:<bugs@y>\r\nDATA\r\n"))
        << server.Sent;
}

TEST(SmtpSession, AMailThatCannotBeCompletedIsNotEnded)
{
    TScriptedServer server{"220 mail\r\n", "250 mail\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n"};
    {
        TSmtpSession session(server);
        ASSERT_TRUE(session.Open({"VM-01", false, false, u"", u""}));
        ASSERT_TRUE(session.SendMail(u"me@x", u"bugs@y", Header(), u"Hi"));
        EXPECT_TRUE(session.SendAttachmentHead(u"a.txt", u"text/plain"));
        session.GiveUpAttachment();
        EXPECT_FALSE(session.Finalize());
    }
    // No end of the mail, nothing after it: the server drops what it got when the line closes.
    EXPECT_TRUE(server.Sent.ends_with("Content-Disposition: attachment; filename=\"a.txt\"\r\n\r\n"))
        << server.Sent;
}

TEST(SmtpSession, NoRecipientAcceptedNoGreetingNoReply)
{
    TScriptedServer refused{"220 mail\r\n", "250 mail\r\n",  "250 ok\r\n",
                            "550 no\r\n",   "250 reset\r\n", "221 bye\r\n"};
    {
        TSmtpSession session(refused);
        ASSERT_TRUE(session.Open({"VM-01", false, false, u"", u""}));
        EXPECT_FALSE(session.SendMail(u"me@x", u"bugs@y", Header(), u"Hi"));
        EXPECT_EQ(session.LastError(), "No recipient was accepted: Unexpected reply (550 no)");
    }
    EXPECT_EQ(refused.Sent.find("DATA"), std::string::npos);
    TScriptedServer busy{"421 busy\r\n"};
    TSmtpSession first(busy);
    EXPECT_FALSE(first.Open({"VM-01", false, false, u"", u""}));
    EXPECT_EQ(first.LastError(), "No greeting from the server (421 busy)");
    TScriptedServer silent{"250-never ends\r\n"};
    TSmtpSession second(silent);
    EXPECT_FALSE(second.Open({"VM-01", false, false, u"", u""}));
}

TEST(SmtpSession, AServerThatClosesOrFallsSilentHasNotTakenTheMail)
{
    // Closed at the end of the mail: the mail was not accepted, whatever came before.
    TScriptedServer closing{"220 mail\r\n", "250 mail\r\n", "250 ok\r\n",
                            "250 ok\r\n",   "354 go\r\n",   "(closed)"};
    TSmtpSession session(closing);
    ASSERT_TRUE(session.Open({"VM-01", false, false, u"", u""}));
    ASSERT_TRUE(session.SendMail(u"me@x", u"bugs@y", Header(), u"Hi"));
    EXPECT_FALSE(session.Finalize());
    EXPECT_EQ(session.LastError(), "The server closed the connection");
    // Closed in answer to a recipient: none was accepted.
    TScriptedServer refusing{"220 mail\r\n", "250 mail\r\n", "250 ok\r\n", "(closed)"};
    TSmtpSession second(refusing);
    ASSERT_TRUE(second.Open({"VM-01", false, false, u"", u""}));
    EXPECT_FALSE(second.SendMail(u"me@x", u"bugs@y", Header(), u"Hi"));
    // Silent after the greeting: the failure names the silence, not an earlier reply.
    TScriptedServer silent{"220 mail\r\n"};
    TSmtpSession third(silent);
    EXPECT_FALSE(third.Open({"VM-01", false, false, u"", u""}));
    EXPECT_EQ(third.LastError(), "HELO failed: No reply from the server");
}

// Each step of a whole session (STARTTLS, AUTH LOGIN, the envelope, the mail) refused with a
// temporary and with a permanent error: the mail is not counted as delivered, and nothing
// after the refused step is sent but the reset and the goodbye.
TEST(SmtpSession, ARefusalAtAnyStepFailsTheMail)
{
    const std::vector<std::pair<std::string, std::string>> steps = {
        {"", "220 mail ESMTP\r\n"},
        {"EHLO VM-01", "250-mail\r\n250-STARTTLS\r\n250 SIZE\r\n"},
        {"STARTTLS", "220 go ahead\r\n"},
        {"EHLO VM-01", "250-mail\r\n250 AUTH LOGIN\r\n"},
        {"AUTH LOGIN", "334 VXNlcm5hbWU6\r\n"},
        {"bWU=", "334 UGFzc3dvcmQ6\r\n"},
        {"c2VjcmV0", "235 ok\r\n"},
        {"MAIL FROM:<me@x>", "250 ok\r\n"},
        {"RCPT TO:<bugs@y>", "250 ok\r\n"},
        {"DATA", "354 go\r\n"},
        {".", "250 queued\r\n"}};
    for (size_t refused = 0; refused < steps.size(); ++refused) {
        if (refused == 1 || refused == 3)
            continue; // a refused EHLO is followed by HELO (tested above), and so is the second
        for (const char* refusal : {"454 not now\r\n", "554 no\r\n"}) {
            SCOPED_TRACE(steps[refused].first + " refused with " + refusal);
            std::deque<std::string> script;
            for (size_t i = 0; i < refused; ++i)
                script.push_back(steps[i].second);
            script.push_back(refusal);
            script.push_back("250 reset\r\n");
            script.push_back("221 bye\r\n");
            TScriptedServer server{};
            server.Script(script);
            bool delivered = false;
            {
                TSmtpSession session(server);
                delivered = session.Open({"VM-01", false, true, u"me", u"secret"}) &&
                            session.SendMail(u"me@x", u"bugs@y", Header(), u"Hi") && session.Finalize();
                EXPECT_NE(session.LastError(), "");
            }
            EXPECT_FALSE(delivered);
            // Nothing after the refused command but the way out (a server that refuses to greet
            // is not spoken to at all).
            const std::string& sent = server.Sent;
            const std::string refusedCommand = steps[refused].first + "\r\n";
            if (refused == 0) {
                EXPECT_EQ(sent, "");
            } else {
                ASSERT_GE(sent.size(), refusedCommand.size()) << sent;
                const size_t at = sent.rfind(refusedCommand);
                ASSERT_NE(at, std::string::npos) << sent;
                // (After the end of the mail, only the goodbye is left.)
                EXPECT_EQ(sent.substr(at + refusedCommand.size()),
                          refused + 1 == steps.size() ? "QUIT\r\n" : "RSET\r\nQUIT\r\n")
                    << sent;
            }
        }
    }
}

// Replies that never end within the limit, and a multi-line reply whose last line has another
// code than its first: clear failures, no endless wait.
TEST(SmtpSession, RepliesTooLongOrMixed)
{
    const std::string endless = "250-" + std::string(70000, 'x') + "\r\n250 end\r\n";
    TScriptedServer tooLong{"220 mail\r\n", endless.c_str()};
    {
        TSmtpSession session(tooLong);
        EXPECT_FALSE(session.Open({"VM-01", false, false, u"", u""}));
        EXPECT_EQ(session.LastError(), "HELO failed: The server's reply is too long");
    }
    // Nothing more was said on a connection out of step.
    EXPECT_EQ(tooLong.Sent, "EHLO VM-01\r\n");
    TScriptedServer mixed{"220 mail\r\n", "250 mail\r\n", "250-ok\r\n550 no after all\r\n"};
    TSmtpSession session(mixed);
    ASSERT_TRUE(session.Open({"VM-01", false, false, u"", u""}));
    EXPECT_FALSE(session.SendMail(u"me@x", u"bugs@y", Header(), u"Hi"));
}

TEST(SmtpSession, ThePortOfASettingOfZero)
{
    EXPECT_EQ(SmtpPortOf(0, true, false, false), 465);
    EXPECT_EQ(SmtpPortOf(0, true, true, true), 465);
    EXPECT_EQ(SmtpPortOf(0, false, true, true), 587);
    EXPECT_EQ(SmtpPortOf(0, false, true, false), 25); // STARTTLS without an account: the usual port
    EXPECT_EQ(SmtpPortOf(0, false, false, true), 25);
    EXPECT_EQ(SmtpPortOf(2525, true, true, true), 2525);
    EXPECT_EQ(SmtpPortOf(65536, false, false, false), 0);
}

} // namespace
} // namespace crash
