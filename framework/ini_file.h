#pragma once
// A configuration file of sections and "key=value" lines, read and written through the
// system's profile functions.

#include <optional>
#include <string>

namespace framework {

class TIniFile
{
public:
    explicit TIniFile(std::wstring fileName) : FFileName(std::move(fileName)) {}
    const std::wstring& FileName() const noexcept { return FFileName; }

    // The value of `key`, or nothing when the section has no such key.
    std::optional<std::wstring> Read(const std::wstring& section, const std::wstring& key) const;
    std::wstring ReadString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& fallback) const;
    // A decimal number, or hexadecimal after "$" or "0x"; `fallback` when the key is missing
    // or its value isn't a number that fits.
    int ReadInteger(const std::wstring& section, const std::wstring& key, int fallback) const;
    // Report whether the file could be written.
    bool WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value);
    bool WriteInteger(const std::wstring& section, const std::wstring& key, int value);

private:
    std::wstring FFileName;
};

// The number `text` holds as ReadInteger reads it, or nothing.
std::optional<int> ParseIniInteger(const std::wstring& text);

} // namespace framework
