#pragma once
// Conversions between the Windows text forms: UTF-16 (wchar_t), UTF-8 and the system's
// ANSI code page.

#include <string>
#include <string_view>

namespace base {

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);

// The same texts as char16_t strings, the form of the platform-free code.
std::u16string ToUtf16(std::wstring_view text);
std::u16string AnsiToUtf16(std::string_view text);
std::string Utf16ToAnsi(std::u16string_view text);

} // namespace base
