#include "crash/delivery/smtp_reply.h"

#include "base/ascii_case.h"

#include <string>

namespace crash {

bool SmtpReplyComplete(std::string_view received)
{
    if (!received.ends_with("\r\n"))
        return false;
    received.remove_suffix(2);
    const size_t lineStart = received.rfind('\n');
    const std::string_view last = received.substr(lineStart == std::string_view::npos ? 0 : lineStart + 1);
    return last.size() >= 4 && last[3] == ' ';
}

bool SmtpReplyIs(std::string_view reply, std::string_view code)
{
    return reply.starts_with(code);
}

std::string_view SmtpFirstLine(std::string_view reply)
{
    return reply.substr(0, reply.find_first_of("\r\n"));
}

TEhloOffers ReadEhloReply(std::string_view reply)
{
    TEhloOffers offers;
    while (!reply.empty()) {
        const size_t end = reply.find('\n');
        std::string line(reply.substr(0, end));
        reply.remove_prefix(end == std::string_view::npos ? reply.size() : end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        // "250-" and "250 " alike, and "AUTH=" like "AUTH ".
        for (char& c : line)
            c = c == '-' || c == '=' ? ' ' : base::AsciiLower(c);
        if (line == "250 starttls")
            offers.StartTls = true;
        if (line == "250 auth" || line.starts_with("250 auth ")) {
            offers.Auth = true;
            if ((line + " ").find(" login ") != std::string::npos)
                offers.AuthLogin = true;
        }
    }
    return offers;
}

} // namespace crash
