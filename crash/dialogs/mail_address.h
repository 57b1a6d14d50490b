#pragma once
// Whether a text can be a mail address the contact form accepts: one at sign, not first; a
// dot after it, but not right after it; no dot at either end; only ASCII letters, digits and
// ' + - _ . characters besides. Platform-free.

#include <string_view>

namespace crash {

bool IsPlausibleMailAddress(std::u16string_view text);

} // namespace crash
