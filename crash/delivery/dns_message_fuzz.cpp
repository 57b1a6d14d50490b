#include "crash/delivery/dns_message.h"

#include <cstdint>

// Any datagram as the answer to an MX and to an NS query, and its additional addresses, with the
// ID it carries itself (so that the reading goes past the header); and the same bytes as a
// registry list of name servers.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> reply(data, size);
    const uint16_t id = size >= 2 ? static_cast<uint16_t>((data[0] << 8) | data[1]) : 0;
    (void)crash::DnsAnswerNames(reply, crash::TDnsType::MX, id);
    (void)crash::DnsAnswerNames(reply, crash::TDnsType::NS, id);
    (void)crash::DnsAdditionalAddresses(reply, id);
    (void)crash::NameServerList(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
