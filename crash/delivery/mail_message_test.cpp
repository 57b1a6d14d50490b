#include "crash/delivery/mail_message.h"
#include "crash/delivery/smtp_reply.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

TEST(MailMessage, TheHeaderAndTheTextPart)
{
    TMailHeader header;
    header.To = u"Bugs <bugs@maker.example>; boss@maker.example";
    header.From = u"Vexcatch <bugs@maker.example>";
    header.Subject = u"Lumigate - Bug report";
    header.Time = {2026, 12, 8, 9, 5, 3};
    header.Stamp = 0x01DB49A2C3D4E5F6;
    EXPECT_EQ(MailHeadAndBody(header, u"Hello,\n.\n.hidden\r\nbye"),
              "To: Bugs <bugs@maker.example>\r\n"
              "From: Vexcatch <bugs@maker.example>\r\n"
              "Reply-To: Vexcatch <bugs@maker.example>\r\n"
              "Subject: =?ISO-8859-1?Q?Lumigate=20=2D=20Bug=20report?=\r\n"
              "Date: 8 Dec 2026 09:05:03 UT\r\n"
              "Message-ID: <01DB49A2C3D4E5F6@Vexcatch>\r\n"
              "MIME-Version: 1.0\r\n"
              "Content-Type: multipart/mixed; boundary=\"Tolvaris_multipart_boundary\"\r\n"
              "\r\nThis is a multi-part message in MIME format.\r\n\r\n"
              "--Tolvaris_multipart_boundary\r\n"
              "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
              "Content-Transfer-Encoding: 8bit\r\n\r\n"
              "Hello,\r\n..\r\n..hidden\r\nbye\r\n");
    // Outside ISO-8859-1: Base64 of the UTF-8, one line.
    EXPECT_TRUE(MailHeadAndBody(header, u"\u0416")
                    .ends_with("charset=\"utf-8\"\r\n"
                               "Content-Transfer-Encoding: base64\r\n\r\n0JY=\r\n"));
}

TEST(MailMessage, SubjectsAndAttachments)
{
    EXPECT_EQ(EncodedSubject(u"\u00dcber: a b"), "=?ISO-8859-1?Q?=DCber=3A=20a=20b?=");
    EXPECT_EQ(EncodedSubject(u"\u0416"), "=?UTF-8?B?0JY=?=");
    EXPECT_EQ(MailAttachmentHead(u"screen \u20ac.png", u"image/png"),
              "--Tolvaris_multipart_boundary\r\nContent-Type: image/png; "
              "name=\"=?UTF-8?B?c2NyZWVuIOKCrC5wbmc=?=\"\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "Content-Disposition: attachment; filename=\"=?UTF-8?B?c2NyZWVuIOKCrC5wbmc=?=\"\r\n\r\n");
    const std::vector<uint8_t> file(600, 0xAB);
    const std::string lines = MailBase64Lines(file);
    EXPECT_EQ(lines.find("\r\n"), 340u);
    EXPECT_EQ(lines.size(), 340 + 2 + 340 + 2 + 120 + 2);
    EXPECT_EQ(MailEnd(), "--Tolvaris_multipart_boundary--\r\n");
    std::u16string list = u"a@x; ;b@y,, c@z";
    EXPECT_EQ(CountMailAddresses(list), 3);
    EXPECT_EQ(list, u"a@x,b@y,c@z");
}

TEST(SmtpReply, WholeRepliesAndWhatEhloOffers)
{
    EXPECT_TRUE(SmtpReplyComplete("220 mail ready\r\n"));
    EXPECT_FALSE(SmtpReplyComplete("250-mail\r\n250-SIZE"));
    EXPECT_FALSE(SmtpReplyComplete("250-mail\r\n250-SIZE\r\n"));
    EXPECT_TRUE(SmtpReplyComplete("250-mail\r\n250 SIZE\r\n"));
    EXPECT_FALSE(SmtpReplyComplete("25\r\n"));
    EXPECT_EQ(SmtpFirstLine("535 no\r\n535 really\r\n"), "535 no");

    const TEhloOffers modern = ReadEhloReply("250-mail.example\r\n250-STARTTLS\r\n250 AUTH PLAIN LOGIN\r\n");
    EXPECT_TRUE(modern.StartTls && modern.Auth && modern.AuthLogin);
    const TEhloOffers old = ReadEhloReply("250-mail\r\n250-AUTH=LOGIN\r\n250 8BITMIME\r\n");
    EXPECT_TRUE(old.Auth && old.AuthLogin);
    EXPECT_FALSE(old.StartTls);
    const TEhloOffers plain = ReadEhloReply("250-mail\r\n250-AUTH PLAIN CRAM-MD5\r\n250 STARTTLSX\r\n");
    EXPECT_TRUE(plain.Auth);
    EXPECT_FALSE(plain.AuthLogin || plain.StartTls);
}

} // namespace
} // namespace crash
