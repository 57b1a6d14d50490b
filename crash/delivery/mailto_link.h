#pragma once
// The command line that hands a report to the mail program registered for mailto links:
// the link (recipients, subject and report text, each UTF-8 and percent-encoded) put into the
// registered command. Platform-free: the caller reads the command and starts the process.

#include <string>
#include <string_view>

namespace crash {

// Every byte of the UTF-8 other than ".", digits, "@" and ASCII letters as "%XX".
std::u16string MailtoEncoded(std::u16string_view text);

// The link in place of "%1" in `command`, or after it; recipients separated by "," (by ";"
// for Outlook, which wants them so). At most 32766 characters, cut before a "%" sequence
// rather than through it.
std::u16string MailtoCommandLine(std::u16string_view command, std::u16string_view recipients,
                                 std::u16string_view subject, std::u16string_view body);

} // namespace crash
