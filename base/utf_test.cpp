#include "base/utf.h"

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(Utf, RoundTripsEveryPlane)
{
    const std::u16string text = u"Grüße – 日本 \U0001F600";
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
    EXPECT_EQ(Utf16ToUtf8(u"\u00e4"), "\xc3\xa4");
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xf0\x9f\x98\x80");
}

TEST(Utf, MalformedInputBecomesReplacementCharacters)
{
    // Truncated sequence, stray continuation byte, overlong form, encoded surrogate,
    // beyond U+10FFFF: each gives one U+FFFD and the next valid character survives.
    EXPECT_EQ(Utf8ToUtf16("\xe2\x82"), u"\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\x80"
                          "a"),
              u"\uFFFDa");
    EXPECT_EQ(Utf8ToUtf16("\xc0\xaf"
                          "b"),
              u"\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("\xed\xa0\x80"
                          "c"),
              u"\uFFFDc");
    EXPECT_EQ(Utf8ToUtf16("\xf4\x90\x80\x80"), u"\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xe2"
                          "d"),
              u"\uFFFDd");
    // Lone surrogates of UTF-16.
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800') + u"x"), "\xef\xbf\xbdx");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xDC00')), "\xef\xbf\xbd");
}

} // namespace
} // namespace base
