#pragma once
// How the settings block stores its three passwords (SmtpPassword, HttpPassword,
// BugTrPassword): the UTF-8 bytes of the password are enciphered with a key stream keyed
// by the account name (UTF-8) and then with one keyed by the server name (8-bit text), and
// the result is stored as lower-case hexadecimal text. This scrambles; it is no protection
// against anyone who has the program.

#include <string>
#include <string_view>

namespace crash {

// The stored text of a password; DecodePassword(EncodePassword(p, s, a), s, a) == p.
std::u16string EncodePassword(std::u16string_view password, std::string_view server,
                              std::string_view account);
// The password of a stored text; empty for text that is not such a form.
std::u16string DecodePassword(std::u16string_view stored, std::string_view server, std::string_view account);

} // namespace crash
