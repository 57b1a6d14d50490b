#include "crash/delivery/mail_address.h"

#include "base/base64.h"
#include "base/utf.h"

#include <algorithm>

namespace crash {
namespace {

std::u16string_view Trimmed(std::u16string_view text)
{
    const size_t begin = text.find_first_not_of(u' ');
    if (begin == std::u16string_view::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(u' ') - begin + 1);
}

} // namespace

std::u16string CommandAddress(std::u16string_view address)
{
    address = Trimmed(address);
    const size_t open = address.find(u'<');
    return open == std::u16string_view::npos ? u"<" + std::u16string(address) + u">"
                                             : std::u16string(address.substr(open));
}

std::string HeaderAddress(std::u16string_view address)
{
    address = Trimmed(address);
    const size_t open = address.find(u'<');
    const std::u16string_view name =
        open == std::u16string_view::npos ? u"" : Trimmed(address.substr(0, open));
    std::u16string text = CommandAddress(address);
    // A name that is not ASCII goes as an encoded word: header bytes outside ASCII are read
    // differently by every receiver.
    if (!name.empty()) {
        if (std::all_of(name.begin(), name.end(), [](char16_t c) { return c < 0x80; }))
            text = std::u16string(name) + u" " + text;
        else
            return "=?UTF-8?B?" + base::Base64(base::Utf16ToUtf8(name)) + "?= " + base::Utf16ToUtf8(text);
    }
    // Every character of an 8-bit header fits in a byte; others are no address.
    std::string out;
    for (const char16_t c : text)
        out.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    return out;
}

} // namespace crash
