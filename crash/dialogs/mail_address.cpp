#include "crash/dialogs/mail_address.h"

#include <algorithm>

namespace crash {
namespace {

bool Allowed(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'\'' ||
           c == u'+' || c == u'-' || c == u'_' || c == u'.' || c == u'@';
}

} // namespace

bool IsPlausibleMailAddress(std::u16string_view text)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), Allowed)) // no blanks either
        return false;
    const size_t at = text.find(u'@');
    if (at == 0 || at == std::u16string_view::npos || text.find(u'@', at + 1) != std::u16string_view::npos)
        return false;
    if (text.find(u'.', at + 1) == std::u16string_view::npos || text[at + 1] == u'.')
        return false;
    if (text.front() == u'.' || text.back() == u'.')
        return false;
    return std::any_of(text.begin(), text.end(), [](char16_t c) { return c != u'.' && c != u'@'; });
}

} // namespace crash
