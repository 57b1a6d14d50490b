#include "crash/delivery/mailto_link.h"

#include "base/ascii_case.h"
#include "base/utf.h"
#include "crash/delivery/mail_message.h"

namespace crash {
namespace {

constexpr size_t MaxCommandLine = 32766;

} // namespace

std::u16string MailtoEncoded(std::u16string_view text)
{
    static constexpr char16_t Digits[] = u"0123456789ABCDEF";
    std::u16string out;
    for (const char c : base::Utf16ToUtf8(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '.' || byte == '@' || (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= 'a' && byte <= 'z')) {
            out.push_back(byte);
        } else {
            out.push_back(u'%');
            out.push_back(Digits[byte >> 4]);
            out.push_back(Digits[byte & 15]);
        }
    }
    return out;
}

std::u16string MailtoCommandLine(std::u16string_view command, std::u16string_view recipients,
                                 std::u16string_view subject, std::u16string_view body)
{
    std::u16string list(recipients);
    CountMailAddresses(list);
    if (base::AsciiLowerCase(std::u16string(command)).find(u"outlook") != std::u16string::npos)
        for (char16_t& c : list)
            if (c == u',')
                c = u';';
    const std::u16string link = u"mailto:" + MailtoEncoded(list) + u"?subject=" + MailtoEncoded(subject) +
                                u"&body=" + MailtoEncoded(body);
    std::u16string line(command);
    if (const size_t at = line.find(u"%1"); at != std::u16string::npos)
        line.replace(at, 2, link);
    else
        line += (line.empty() || line.back() == u' ' ? u"" : u" ") + link;
    if (line.size() > MaxCommandLine) {
        size_t size = MaxCommandLine;
        // "%XX" is whole or not there.
        if (line[size - 1] == u'%')
            size -= 1;
        else if (line[size - 2] == u'%')
            size -= 2;
        line.resize(size);
    }
    return line;
}

} // namespace crash
