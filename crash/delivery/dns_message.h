#pragma once
// The DNS messages of the mail exchanger look-up, built and read by hand: a query for the MX
// (or NS) records of a domain, and the names in the answer to it. The reader takes any bytes:
// what is not a well-formed answer to the query gives no names. Platform-free.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace crash {

enum class TDnsType : uint16_t
{
    NS = 2,
    MX = 15
};

// ID, recursion desired, one question of class IN. Empty when the domain cannot be a DNS name
// (an empty label, a label over 63 bytes, a name over 255).
std::vector<uint8_t> DnsQuery(std::string_view domain, TDnsType type, uint16_t id);

// The names an answer to the query `id` gives: for MX the exchanges of the answer section,
// the most preferred (lowest preference value) first, in the answer's order among equals; for NS the name
// servers of the answer and the authority section. None when the reply is no answer to the query or reports
// an error.
std::vector<std::string> DnsAnswerNames(std::span<const uint8_t> reply, TDnsType type, uint16_t id);

// The IPv4 addresses the additional section of that answer gives (the name servers' "glue"),
// each with its name, in order.
std::vector<std::pair<std::string, std::string>> DnsAdditionalAddresses(std::span<const uint8_t> reply,
                                                                        uint16_t id);

// The domain of a mail address (after its "@", without a trailing ">"), and that domain cut to
// its last three labels.
std::string MailDomain(std::string_view address);
std::string ShortDomain(std::string_view domain);

// The addresses of a registry list of name servers ("NameServer", "DhcpNameServer"): split at
// commas, or at blanks when it has none; empty entries left out.
std::vector<std::string> NameServerList(std::string_view value);

} // namespace crash
