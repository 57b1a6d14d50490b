#include "net/http_url.h"

#include <gtest/gtest.h>

namespace net {
namespace {

TEST(ParseURL, PrefixesInAnyLetterCase)
{
    auto u = ParseURL("HtTp://download.example/dir/file.exe");
    EXPECT_EQ(u.Host, "download.example");
    EXPECT_EQ(u.Object, "/dir/file.exe");
    EXPECT_FALSE(u.Secure);
    u = ParseURL("HTTPS://secure.example/a");
    EXPECT_EQ(u.Host, "secure.example");
    EXPECT_EQ(u.Object, "/a");
    EXPECT_TRUE(u.Secure);
}

TEST(ParseURL, WithoutPrefixOrSlash)
{
    // No prefix: split unchanged (and not secure).
    auto u = ParseURL("ftp://host/x");
    EXPECT_EQ(u.Host, "ftp:");
    EXPECT_EQ(u.Object, "//host/x");
    EXPECT_FALSE(u.Secure);
    // No "/" after the prefix: empty host, the rest is the object path.
    u = ParseURL("http://hostonly");
    EXPECT_EQ(u.Host, "");
    EXPECT_EQ(u.Object, "hostonly");
    u = ParseURL("https://");
    EXPECT_EQ(u.Host, "");
    EXPECT_EQ(u.Object, "");
    EXPECT_TRUE(u.Secure);
    u = ParseURL("");
    EXPECT_EQ(u.Host, "");
    EXPECT_EQ(u.Object, "");
    u = ParseURL("http:/");
    EXPECT_EQ(u.Host, "http:");
    EXPECT_EQ(u.Object, "/");
}

} // namespace
} // namespace net
