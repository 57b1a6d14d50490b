#pragma once
// UTF-8 and UTF-16 conversion without the Windows API. Malformed input never fails:
// each invalid sequence, lone surrogate or truncated tail becomes U+FFFD, so any byte
// string converts and nothing is read past the given length.

#include <string>
#include <string_view>

namespace base {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

} // namespace base
