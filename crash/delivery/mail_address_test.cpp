#include "crash/delivery/mail_address.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

TEST(MailAddress, CommandAndHeaderForms)
{
    EXPECT_EQ(CommandAddress(u" bugs@example.com "), u"<bugs@example.com>");
    EXPECT_EQ(CommandAddress(u"Vexcatch <bugs@example.com>"), u"<bugs@example.com>");
    EXPECT_EQ(HeaderAddress(u"bugs@example.com"), "<bugs@example.com>");
    EXPECT_EQ(HeaderAddress(u"Jon Doe  <j@example.com>"), "Jon Doe <j@example.com>");
    EXPECT_EQ(HeaderAddress(u"J\u00FCrgen <j@example.com>"), "=?UTF-8?B?SsO8cmdlbg==?= <j@example.com>");
    EXPECT_EQ(HeaderAddress(u"\u0418\u0432\u0430\u043D <i@example.com>"),
              "=?UTF-8?B?0JjQstCw0L0=?= <i@example.com>");
}

} // namespace
} // namespace crash
