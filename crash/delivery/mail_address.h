#pragma once
// Mail addresses as the delivery writes them: in a command ("<a@b.example>") and in a header
// ("Name <a@b.example>", a name outside ISO-8859-1 as an encoded word). Platform-free.

#include <string>
#include <string_view>

namespace crash {

// A text without "<" in angle brackets; a text with one from the "<" on.
std::u16string CommandAddress(std::u16string_view address);
// Header form: a display name before the brackets is kept (trailing blanks removed; outside
// ASCII as an encoded word), a bare address is put in brackets.
std::string HeaderAddress(std::u16string_view address);

} // namespace crash
