#pragma once
// What the SMTP client reads from a server: where a reply ends, whether it has the expected
// code, and what an EHLO reply offers (STARTTLS, AUTH, the LOGIN mechanism). Platform-free.

#include <string_view>

namespace crash {

// Whether `received` holds a whole reply: it ends with CR LF and its last line is a final one
// (a blank after the three-digit code).
bool SmtpReplyComplete(std::string_view received);
// Whether the reply starts with `code`.
bool SmtpReplyIs(std::string_view reply, std::string_view code);
// The reply's first line, for error texts.
std::string_view SmtpFirstLine(std::string_view reply);

struct TEhloOffers
{
    bool StartTls = false, Auth = false, AuthLogin = false;
};
// Letter case is ignored; "AUTH=LOGIN", the old form, counts as offering LOGIN.
TEhloOffers ReadEhloReply(std::string_view reply);

} // namespace crash
