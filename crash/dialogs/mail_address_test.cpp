#include "crash/dialogs/mail_address.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

TEST(MailAddress, PlausibleAddressesHaveOneAtSignAndADotAfterIt)
{
    for (const char16_t* good :
         {u"anna@example.com", u"o'brien+bugs@mail.example.co.uk", u"a_b-c@d.e", u"x@y.z"})
        EXPECT_TRUE(IsPlausibleMailAddress(good)) << std::u16string(good).size();
    for (const char16_t* bad :
         {u"", u"anna@example", u"@example.com", u"anna@.example.com", u".anna@example.com",
          u"anna@example.com.", u" anna@example.com", u"anna@example.com ", u"an na@example.com",
          u"anna@exa@mple.com", u"j\u00f6rg@example.com", u"anna.example.com", u"anna@", u"...@..."})
        EXPECT_FALSE(IsPlausibleMailAddress(bad)) << std::u16string(bad).size();
}

} // namespace
} // namespace crash
