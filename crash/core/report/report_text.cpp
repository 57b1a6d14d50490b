#include "crash/core/report/report_text.h"

#include "base/hex.h"

#include <algorithm>
#include <cstdio>

namespace crash {
namespace {

std::u16string Ascii(const char* text)
{
    std::u16string out;
    for (; *text; ++text)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
    return out;
}

std::u16string Number(uint64_t value)
{
    return Ascii(std::to_string(value).c_str());
}

std::u16string Hex8(uint32_t value)
{
    return Ascii(base::AddressText(value).c_str());
}

bool Blank(char16_t c)
{
    return c <= u' ';
}

std::u16string_view Trimmed(std::u16string_view text)
{
    while (!text.empty() && Blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && Blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The lines of a section's content (split at CRLF, CR or LF).
std::vector<std::u16string_view> Lines(std::u16string_view text)
{
    std::vector<std::u16string_view> lines;
    size_t start = 0;
    for (size_t k = 0; k <= text.size(); ++k) {
        if (k < text.size() && text[k] != u'\r' && text[k] != u'\n')
            continue;
        lines.push_back(text.substr(start, k - start));
        if (k + 1 < text.size() && text[k] == u'\r' && text[k + 1] == u'\n')
            ++k;
        start = k + 1;
    }
    return lines;
}

} // namespace

std::u16string OneLine(std::u16string_view text)
{
    std::u16string out;
    for (char16_t c : text) {
        if (c == u'\r' || c == u'\n')
            c = u' ';
        if (c == u' ' && !out.empty() && out.back() == u' ')
            continue;
        out.push_back(c);
    }
    return out;
}

std::u16string ReportText(const TReportItems& header, const TReportItems& sections)
{
    size_t width = 0;
    for (const auto& [name, content] : header)
        width = std::max(width, name.size());
    std::u16string text;
    for (const auto& [name, content] : header) {
        if (!text.empty())
            text += u"\r\n";
        text += name + std::u16string(width - name.size(), u' ') + u": " + OneLine(content);
    }
    for (const auto& [title, content] : sections) {
        text += u"\r\n\r\n" + title;
        if (title.find(u':') == std::u16string::npos)
            text += u':';
        for (std::u16string_view line : Lines(content)) {
            while (!line.empty() && line.back() == u' ')
                line.remove_suffix(1);
            text += u"\r\n";
            text += line.empty() ? u"." : std::u16string(line);
        }
    }
    return text;
}

std::u16string ExceptionMessageText(std::u16string_view message)
{
    message = Trimmed(message);
    if (message.empty())
        message = u"Unknown";
    while (!message.empty() && (message.back() == u'.' || message.back() == u'!'))
        message.remove_suffix(1);
    return std::u16string(message) + u".";
}

std::u16string DurationText(int64_t seconds)
{
    const uint64_t s = seconds > 0 ? static_cast<uint64_t>(seconds) : 0;
    const uint64_t days = s / 86400, hours = s / 3600 % 24, minutes = s / 60 % 60, secs = s % 60;
    const auto unit = [](uint64_t value, const char16_t* word) {
        if (value == 0)
            return std::u16string();
        return Number(value) + u" " + word + (value == 1 ? u" " : u"s ");
    };
    if (days > 0)
        return unit(days, u"day") + unit(hours, u"hour");
    if (hours > 0)
        return unit(hours, u"hour") + unit(minutes, u"minute");
    return unit(minutes, u"minute") + unit(secs, u"second");
}

std::u16string SizeText(uint64_t bytes, char16_t decimalSeparator)
{
    if (bytes < 1024)
        return Number(bytes) + u" Bytes";
    const char16_t* unit = u" KB";
    uint64_t base = 1;
    if (bytes < (1ull << 20)) {
        unit = u" KB";
    } else if (bytes < (1ull << 30)) {
        unit = u" MB";
        base = 1024;
    } else {
        unit = u" GB";
        base = 1024 * 1024;
    }
    const uint64_t hundredths = bytes / base * 100 / 1024;
    std::u16string digits = Number(hundredths / 100) + decimalSeparator;
    const uint64_t rest = hundredths % 100;
    digits += static_cast<char16_t>(u'0' + rest / 10);
    digits += static_cast<char16_t>(u'0' + rest % 10);
    return digits + unit;
}

std::u16string DateTimeText(const TReportTime& t)
{
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d, %02d:%02d:%02d, %dms", t.Year, t.Month, t.Day, t.Hour,
                  t.Minute, t.Second, t.Millisecond);
    return Ascii(text);
}

std::u16string UpTimeText(uint64_t milliseconds)
{
    std::u16string text = DurationText(static_cast<int64_t>(milliseconds / 1000));
    return text.empty() ? Number(milliseconds) + u" milliseconds" : text;
}

std::u16string CpuRegistersText(const TRegisters& r)
{
    const std::pair<const char16_t*, uint32_t> registers[] = {
        {u"eax", r.Eax}, {u"ebx", r.Ebx}, {u"ecx", r.Ecx}, {u"edx", r.Edx}, {u"esi", r.Esi},
        {u"edi", r.Edi}, {u"eip", r.Eip}, {u"esp", r.Esp}, {u"ebp", r.Ebp}};
    std::u16string text;
    for (const auto& [name, value] : registers) {
        if (!text.empty())
            text += u"\r\n";
        text += std::u16string(name) + u" = " + Hex8(value);
    }
    return text;
}

std::u16string StackDumpText(uint32_t address, std::span<const uint8_t> bytes)
{
    std::u16string text;
    for (size_t line = 0; line < 20 && line * 16 < bytes.size(); ++line) {
        const std::span<const uint8_t> row =
            bytes.subspan(line * 16, std::min<size_t>(16, bytes.size() - line * 16));
        if (!text.empty())
            text += u"\r\n";
        text += Hex8(address + static_cast<uint32_t>(line * 16)) + u"  ";
        for (size_t k = 0; k < 16; ++k) {
            if (k == 8)
                text += k < row.size() ? u"- " : u"  ";
            if (k < row.size()) {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%02x ", row[k]);
                text += Ascii(hex);
            } else {
                text += u"   ";
            }
        }
        text += u' ';
        for (uint8_t b : row)
            text += b >= 32 && b <= 126 ? static_cast<char16_t>(b) : u'.';
    }
    return text;
}

std::u16string CallstackCrcText(uint32_t first, uint32_t all, uint32_t threads)
{
    return u"$" + Hex8(first) + u", $" + Hex8(all) + u", $" + Hex8(threads);
}

} // namespace crash
