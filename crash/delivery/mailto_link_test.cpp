#include "crash/delivery/mailto_link.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

TEST(MailtoLink, TheLinkInTheRegisteredCommand)
{
    EXPECT_EQ(MailtoEncoded(u"a b&c=\u00e4.@Z"), u"a%20b%26c%3D%C3%A4.@Z");
    EXPECT_EQ(MailtoCommandLine(u"\"C:\\mail.exe\" -compose \"%1\"", u"a@x; b@y", u"Bug", u"line 1\r\n"),
              u"\"C:\\mail.exe\" -compose \"mailto:a@x%2Cb@y?subject=Bug&body=line%201%0D%0A\"");
    // Outlook wants ";" between recipients; a command without "%1" gets the link after a blank.
    EXPECT_EQ(MailtoCommandLine(u"C:\\Office\\OUTLOOK.EXE -c IPM.Note /m", u"a@x,b@y", u"", u""),
              u"C:\\Office\\OUTLOOK.EXE -c IPM.Note /m mailto:a@x%3Bb@y?subject=&body=");
    EXPECT_EQ(MailtoCommandLine(u"mail ", u"a@x", u"s", u"b"), u"mail mailto:a@x?subject=s&body=b");
}

TEST(MailtoLink, ALongReportIsCutBeforeAnEscape)
{
    const std::u16string command = u"mail %1";
    for (size_t pad = 0; pad < 3; ++pad) {
        const std::u16string line =
            MailtoCommandLine(command, u"a@x", u"", std::u16string(pad, u'a') + std::u16string(20000, u' '));
        EXPECT_GE(line.size(), 32764u);
        EXPECT_LE(line.size(), 32766u);
        EXPECT_GE(line.size() - line.rfind(u'%'), 3u) << "a cut through an escape with " << pad;
    }
}

} // namespace
} // namespace crash
