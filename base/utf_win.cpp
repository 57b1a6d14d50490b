#include "base/utf_win.h"

#include "base/utf.h"

#include <windows.h>

namespace base {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");

std::wstring Utf8ToWide(std::string_view text)
{
    const std::u16string wide = base::Utf8ToUtf16(text);
    return {wide.begin(), wide.end()};
}

std::string WideToUtf8(std::wstring_view text)
{
    return base::Utf16ToUtf8({reinterpret_cast<const char16_t*>(text.data()), text.size()});
}

std::wstring AnsiToWide(std::string_view text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, out.data(), length);
    return out;
}

std::string WideToAnsi(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int length = ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, out.data(), length, nullptr, nullptr);
    return out;
}

std::u16string ToUtf16(std::wstring_view text)
{
    return {text.begin(), text.end()};
}

std::u16string AnsiToUtf16(std::string_view text)
{
    return ToUtf16(AnsiToWide(text));
}

std::string Utf16ToAnsi(std::u16string_view text)
{
    return WideToAnsi({reinterpret_cast<const wchar_t*>(text.data()), text.size()});
}

} // namespace base
