#pragma once
// The two channels that hand a report to the user's own mail program: Simple MAPI (the
// system's mail client, with the report's files attached; the user sees the mail before it
// goes unless the delivery is hidden) and a mailto link given to the program registered for
// such links (recipients, subject and the report's text; no files).

#include "crash/delivery/delivery_channels_win.h"

#include <string>
#include <string_view>
#include <vector>

namespace crash {

TMailClientResult SendByMapi(std::u16string_view recipients, std::u16string_view subject,
                             std::u16string_view body, bool hidden, HWND parent,
                             const std::vector<std::u16string>& sendAs,
                             const std::vector<std::u16string>& files);

// The command the system has registered for mailto links (environment variables expanded);
// empty when there is none.
std::u16string MailtoCommand();
// True when the mail program was started.
bool SendByMailto(std::u16string_view recipients, std::u16string_view subject, std::u16string_view text);

TMailClientResult MailByClient(const TDelivery& delivery);
bool MailByLink(const TDelivery& delivery);

} // namespace crash
