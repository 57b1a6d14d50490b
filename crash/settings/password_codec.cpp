#include "crash/settings/password_codec.h"

#include "base/rc4.h"
#include "base/utf.h"

#include <cstdint>
#include <utility>

namespace crash {
namespace {

void Cipher(std::string& bytes, std::string_view key)
{
    base::Rc4({reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()}, key);
}

int HexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace

std::u16string EncodePassword(std::u16string_view password, std::string_view server, std::string_view account)
{
    std::string bytes = base::Utf16ToUtf8(password);
    Cipher(bytes, account);
    Cipher(bytes, server);
    static constexpr char16_t Hex[] = u"0123456789abcdef";
    std::u16string stored;
    for (char c : bytes) {
        stored += Hex[static_cast<uint8_t>(c) >> 4];
        stored += Hex[static_cast<uint8_t>(c) & 0xF];
    }
    return stored;
}

std::u16string DecodePassword(std::u16string_view stored, std::string_view server, std::string_view account)
{
    if (stored.size() % 2)
        return {};
    std::string bytes;
    for (size_t i = 0; i < stored.size(); i += 2) {
        const int high = HexDigit(stored[i]), low = HexDigit(stored[i + 1]);
        if (high < 0 || low < 0)
            return {};
        bytes += static_cast<char>(high << 4 | low);
    }
    Cipher(bytes, server);
    Cipher(bytes, account);
    return base::Utf8ToUtf16(bytes);
}

} // namespace crash
