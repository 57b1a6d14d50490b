#include "framework/ini_file.h"

#include <windows.h>

#include <cwctype>
#include <vector>

namespace framework {

std::optional<std::wstring> TIniFile::Read(const std::wstring& section, const std::wstring& key) const
{
    // Two defaults that no file can both return tell a missing key from any stored value.
    const wchar_t* const missing[] = {L"\x1", L"\x2"};
    std::wstring results[2];
    for (int i = 0; i < 2; ++i) {
        std::vector<wchar_t> buffer(256);
        for (;;) {
            const DWORD n =
                ::GetPrivateProfileStringW(section.c_str(), key.c_str(), missing[i], buffer.data(),
                                           static_cast<DWORD>(buffer.size()), FFileName.c_str());
            if (n + 1 < buffer.size()) {
                results[i].assign(buffer.data(), n);
                break;
            }
            buffer.resize(buffer.size() * 4);
        }
        if (results[i] != missing[i])
            return results[i];
    }
    return std::nullopt;
}

std::wstring TIniFile::ReadString(const std::wstring& section, const std::wstring& key,
                                  const std::wstring& fallback) const
{
    return Read(section, key).value_or(fallback);
}

int TIniFile::ReadInteger(const std::wstring& section, const std::wstring& key, int fallback) const
{
    const auto text = Read(section, key);
    if (!text)
        return fallback;
    return ParseIniInteger(*text).value_or(fallback);
}

bool TIniFile::WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value)
{
    return ::WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), FFileName.c_str()) !=
           FALSE;
}

bool TIniFile::WriteInteger(const std::wstring& section, const std::wstring& key, int value)
{
    return WriteString(section, key, std::to_wstring(value));
}

std::optional<int> ParseIniInteger(const std::wstring& text)
{
    size_t i = 0;
    while (i < text.size() && std::iswspace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+'))
        negative = text[i++] == L'-';
    int base = 10;
    if (i < text.size() && text[i] == L'$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return std::nullopt;
    // Hexadecimal numbers may use all 32 bits (colours are stored that way).
    const long long limit = base == 16 ? 0xFFFFFFFFLL : 0x80000000LL;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const wchar_t c = text[i];
        int digit;
        if (c >= L'0' && c <= L'9')
            digit = c - L'0';
        else if (base == 16 && c >= L'a' && c <= L'f')
            digit = c - L'a' + 10;
        else if (base == 16 && c >= L'A' && c <= L'F')
            digit = c - L'A' + 10;
        else
            break;
        value = value * base + digit;
        if (value > limit)
            return std::nullopt;
    }
    while (i < text.size() && std::iswspace(text[i]))
        ++i;
    if (i != text.size())
        return std::nullopt;
    if (negative)
        value = -value;
    if (base == 10 && value > 0x7FFFFFFFLL)
        return std::nullopt;
    return static_cast<int>(static_cast<unsigned>(value));
}

} // namespace framework
