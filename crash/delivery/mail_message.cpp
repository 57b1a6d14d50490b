#include "crash/delivery/mail_message.h"

#include "base/base64.h"
#include "base/utf.h"
#include "crash/delivery/mail_address.h"
#include "crash/delivery/multipart_form.h"

#include <algorithm>
#include <cstdio>

namespace crash {
namespace {

bool FitsLatin1(std::u16string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c <= 0xFF; });
}

std::string Latin1(std::u16string_view text)
{
    return std::string(text.begin(), text.end());
}

std::string Boundary()
{
    return std::string(FormBoundary);
}

std::u16string FirstAddress(std::u16string_view list)
{
    return std::u16string(list.substr(0, list.find_first_of(u",;")));
}

std::string DateText(const TMailTime& t)
{
    static constexpr const char* Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%d %s %04d %02d:%02d:%02d UT", t.Day,
                  Months[std::clamp(t.Month, 1, 12) - 1], t.Year, t.Hour, t.Minute, t.Second);
    return text;
}

} // namespace

std::string EncodedSubject(std::u16string_view subject)
{
    if (!FitsLatin1(subject))
        return "=?UTF-8?B?" + base::Base64(base::Utf16ToUtf8(subject)) + "?=";
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string out = "=?ISO-8859-1?Q?";
    for (const char16_t c : subject) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('=');
            out.push_back(Digits[c >> 4]);
            out.push_back(Digits[c & 15]);
        }
    }
    return out + "?=";
}

std::string DotStuffed(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    bool lineStart = true;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            lineStart = true;
            continue;
        }
        if (lineStart && c == '.')
            out.push_back('.');
        out.push_back(c);
        lineStart = false;
    }
    return out;
}

std::string MailHeadAndBody(const TMailHeader& header, std::u16string_view body)
{
    const std::u16string replyTo = header.ReplyTo.empty() ? header.From : header.ReplyTo;
    char stamp[20];
    std::snprintf(stamp, sizeof stamp, "%08X%08X", static_cast<unsigned>(header.Stamp >> 32),
                  static_cast<unsigned>(header.Stamp));
    std::string out = "To: " + HeaderAddress(FirstAddress(header.To)) + "\r\n" +
                      "From: " + HeaderAddress(header.From) + "\r\n" + "Reply-To: " + HeaderAddress(replyTo) +
                      "\r\n" + "Subject: " + EncodedSubject(header.Subject) + "\r\n" +
                      "Date: " + DateText(header.Time) + "\r\n" + "Message-ID: <" + stamp + "@Vexcatch>\r\n" +
                      "MIME-Version: 1.0\r\n" + "Content-Type: multipart/mixed; boundary=\"" + Boundary() +
                      "\"\r\n" + "\r\nThis is a multi-part message in MIME format.\r\n\r\n" + "--" +
                      Boundary() + "\r\n";
    if (FitsLatin1(body))
        out += "Content-Type: text/plain; charset=\"iso-8859-1\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
               DotStuffed(Latin1(body));
    else
        out += "Content-Type: text/plain; charset=\"utf-8\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
               base::Base64(base::Utf16ToUtf8(body));
    return out + "\r\n";
}

std::string MailAttachmentHead(std::u16string_view sendAs, std::u16string_view mimeType)
{
    std::string name =
        FitsLatin1(sendAs) ? Latin1(sendAs) : "=?UTF-8?B?" + base::Base64(base::Utf16ToUtf8(sendAs)) + "?=";
    // A name cannot end its quotation marks or its header line.
    std::replace_if(
        name.begin(), name.end(), [](char c) { return c == '"' || c == '\r' || c == '\n'; }, '_');
    return "--" + Boundary() + "\r\nContent-Type: " + Latin1(mimeType) + "; name=\"" + name +
           "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" + name +
           "\"\r\n\r\n";
}

std::string MailBase64Lines(std::span<const uint8_t> bytes)
{
    std::string out;
    for (size_t at = 0; at < bytes.size(); at += MailLineBytes)
        out += base::Base64(bytes.subspan(at, std::min(MailLineBytes, bytes.size() - at))) + "\r\n";
    return out;
}

std::string MailEnd()
{
    return "--" + Boundary() + "--\r\n";
}

std::vector<std::u16string> MailAddressList(std::u16string_view list)
{
    std::vector<std::u16string> addresses;
    size_t start = 0;
    for (;;) {
        const size_t end = list.find_first_of(u",;", start);
        std::u16string_view entry = list.substr(start, end - start);
        while (!entry.empty() && entry.front() == u' ')
            entry.remove_prefix(1);
        while (!entry.empty() && entry.back() == u' ')
            entry.remove_suffix(1);
        if (!entry.empty())
            addresses.emplace_back(entry);
        if (end == std::u16string_view::npos)
            break;
        start = end + 1;
    }
    return addresses;
}

int CountMailAddresses(std::u16string& list)
{
    const std::vector<std::u16string> addresses = MailAddressList(list);
    list.clear();
    for (const std::u16string& address : addresses)
        list += (list.empty() ? u"" : u",") + address;
    return static_cast<int>(addresses.size());
}

} // namespace crash
