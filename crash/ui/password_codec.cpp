#include "crash/ui/password_codec.h"

#include "base/utf.h"

#include <array>
#include <cstdint>
#include <utility>

namespace crash {
namespace {

// The key stream: RC4's. Enciphering and deciphering are the same operation.
void Cipher(std::string& bytes, std::string_view key)
{
    if (key.empty())
        return;
    std::array<uint8_t, 256> s;
    for (int i = 0; i < 256; ++i)
        s[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    for (size_t i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + static_cast<uint8_t>(key[i % key.size()])) & 0xFF;
        std::swap(s[i], s[j]);
    }
    size_t i = 0, j = 0;
    for (char& c : bytes) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        c = static_cast<char>(static_cast<uint8_t>(c) ^ s[(s[i] + s[j]) & 0xFF]);
    }
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
