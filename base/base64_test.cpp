#include "base/base64.h"

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(Base64, TheStandardsVectorsAndEveryByte)
{
    // RFC 4648's test vectors: each padding case.
    const std::pair<std::string_view, std::string_view> vectors[] = {{"", ""},
                                                                     {"f", "Zg=="},
                                                                     {"fo", "Zm8="},
                                                                     {"foo", "Zm9v"},
                                                                     {"foob", "Zm9vYg=="},
                                                                     {"fooba", "Zm9vYmE="},
                                                                     {"foobar", "Zm9vYmFy"}};
    for (const auto& [in, out] : vectors) {
        EXPECT_EQ(Base64(in), out);
        EXPECT_EQ(Base64(in).size(), Base64Length(in.size()));
    }
    // The high bytes and the last two letters of the alphabet.
    EXPECT_EQ(Base64(std::string_view("\xFB\xFF\xBF", 3)), "+/+/");
    EXPECT_EQ(Base64(std::string_view("\0\0", 2)), "AAA=");
}

} // namespace
} // namespace base
