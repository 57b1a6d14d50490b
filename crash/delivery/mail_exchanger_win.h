#pragma once
// The mail exchanger of a recipient's domain, for delivery without a mail server of our own:
// an MX query built by hand, sent over UDP to every DNS server the system uses at once (the
// domain first, then its last three labels); a system without DNS servers is served by the
// walk down from the root servers. Each wait for an answer ends after 5 seconds.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace crash {

struct TDnsServer
{
    std::string Address; // dotted IPv4
    uint16_t Port = 53;
};

// The exchange name of the most preferred MX record for the domain of `address`; empty when
// none was found.
std::string LookupMailExchanger(std::u16string_view address);
// The same with the DNS servers given; none: the walk from the root servers.
std::string LookupMailExchangerVia(std::u16string_view address, const std::vector<TDnsServer>& servers);

// The system's DNS servers: the IP helper's, the current one first, then the others; when it
// names none, the registry's list (RegistryDnsServers of the TCP/IP parameters).
std::vector<TDnsServer> SystemDnsServers();
// The list a key of HKEY_LOCAL_MACHINE holds in "DhcpNameServer", else in "NameServer" (the
// oldest systems' only source; this program needs the IP helper, so it is the fallback here).
std::vector<TDnsServer> RegistryDnsServers(const wchar_t* key);

} // namespace crash
