#include "crash/delivery/smtp_reply.h"

#include <cstdint>
#include <string_view>

// Any bytes a mail server sends, read as the client reads a reply.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    (void)crash::SmtpReplyComplete(reply);
    (void)crash::SmtpReplyIs(reply, "250");
    (void)crash::SmtpFirstLine(reply);
    (void)crash::ReadEhloReply(reply);
    return 0;
}
