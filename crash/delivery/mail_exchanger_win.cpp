#include "crash/delivery/socket_win.h" // first: Windows Sockets before windows.h

#include "crash/delivery/mail_exchanger_win.h"

#include "base/utf.h"
#include "crash/delivery/dns_message.h"

#include <iphlpapi.h>

#include <algorithm>
#include <random>

namespace crash {
namespace {

constexpr DWORD AnswerWait = 5000;
constexpr int MaxRounds = 10;
constexpr int MaxStrays = 16;

// Asked when the system names no DNS server: a.root-servers.net and b.root-servers.net.
const TDnsServer RootServers[] = {{"198.41.0.4", 53}, {"170.247.170.2", 53}};

struct TDnsAnswer
{
    std::vector<std::string> Names;
    std::vector<std::pair<std::string, std::string>> Glue; // name servers' addresses given along
};

// The first good answer. The query goes to every server at once; the wait takes at most one
// answer per server, and only from a server that was asked. The query's ID is random, so that
// a stranger who cannot see the query cannot answer it either.
TDnsAnswer Ask(const std::vector<TDnsServer>& servers, const std::string& name, TDnsType type)
{
    const uint16_t id = static_cast<uint16_t>(std::random_device{}());
    const std::vector<uint8_t> query = DnsQuery(name, type, id);
    if (query.empty() || servers.empty())
        return {};
    base::Socket socket(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!socket.Valid())
        return {};
    std::vector<sockaddr_in> asked;
    for (const TDnsServer& server : servers) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = ::htons(server.Port);
        if (::inet_pton(AF_INET, server.Address.c_str(), &to.sin_addr) != 1)
            continue;
        if (::sendto(socket.Get(), reinterpret_cast<const char*>(query.data()),
                     static_cast<int>(query.size()), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to) == static_cast<int>(query.size()))
            asked.push_back(to);
    }
    // A server that is not there shows as an error on the socket (its "port unreachable"); it
    // counts as that server's answer. Datagrams from elsewhere are passed over, a few of them.
    int strays = 0;
    for (size_t answers = 0;
         answers < asked.size() && strays < MaxStrays && WaitReadable(socket.Get(), AnswerWait);) {
        uint8_t reply[4096];
        sockaddr_in from{};
        int fromLength = sizeof from;
        const int got = ::recvfrom(socket.Get(), reinterpret_cast<char*>(reply), sizeof reply, 0,
                                   reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0) {
            ++answers;
            continue;
        }
        const bool fromAsked = std::any_of(asked.begin(), asked.end(), [&](const sockaddr_in& a) {
            return a.sin_addr.s_addr == from.sin_addr.s_addr && a.sin_port == from.sin_port;
        });
        if (!fromAsked) {
            ++strays;
            continue;
        }
        ++answers;
        std::vector<std::string> names = DnsAnswerNames({reply, static_cast<size_t>(got)}, type, id);
        if (!names.empty())
            return {std::move(names), DnsAdditionalAddresses({reply, static_cast<size_t>(got)}, id)};
    }
    return {};
}

std::string FirstExchanger(const std::vector<TDnsServer>& servers, const std::string& domain,
                           const std::string& shortDomain)
{
    std::vector<std::string> found = Ask(servers, domain, TDnsType::MX).Names;
    if (found.empty() && shortDomain != domain)
        found = Ask(servers, shortDomain, TDnsType::MX).Names;
    return found.empty() ? std::string() : found.front();
}

// From the root servers down: the name servers each level names for the short domain are
// asked next, until one of them knows the exchanger (at most ten levels). Their addresses come
// with the answer (its glue); a name without one is looked up by the system.
std::string WalkFromRoot(const std::string& domain, const std::string& shortDomain)
{
    std::vector<TDnsServer> servers(std::begin(RootServers), std::end(RootServers));
    for (int round = 0; round < MaxRounds; ++round) {
        const TDnsAnswer answer = Ask(servers, shortDomain, TDnsType::NS);
        servers.clear();
        for (const std::string& name : answer.Names) {
            const auto glue = std::find_if(answer.Glue.begin(), answer.Glue.end(),
                                           [&](const auto& entry) { return entry.first == name; });
            in_addr address{};
            std::u16string ignored;
            char dotted[INET_ADDRSTRLEN] = "";
            if (glue != answer.Glue.end())
                servers.push_back({glue->second, 53});
            else if (ResolveHost(name, address, ignored) &&
                     ::inet_ntop(AF_INET, &address, dotted, sizeof dotted))
                servers.push_back({dotted, 53});
        }
        if (servers.empty())
            return {};
        if (std::string exchanger = FirstExchanger(servers, domain, shortDomain); !exchanger.empty())
            return exchanger;
    }
    return {};
}

} // namespace

std::vector<TDnsServer> SystemDnsServers()
{
    ULONG size = 0;
    if (::GetNetworkParams(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0)
        return {};
    std::vector<uint8_t> buffer(size);
    auto* info = reinterpret_cast<FIXED_INFO*>(buffer.data());
    if (::GetNetworkParams(info, &size) != ERROR_SUCCESS)
        return {};
    std::vector<TDnsServer> servers;
    const auto add = [&](const IP_ADDR_STRING* entry) {
        if (!entry)
            return;
        std::string address(entry->IpAddress.String,
                            strnlen(entry->IpAddress.String, sizeof entry->IpAddress.String));
        if (!address.empty() && std::none_of(servers.begin(), servers.end(),
                                             [&](const TDnsServer& s) { return s.Address == address; }))
            servers.push_back({address, 53});
    };
    add(info->CurrentDnsServer);
    for (const IP_ADDR_STRING* entry = &info->DnsServerList; entry; entry = entry->Next)
        add(entry);
    if (servers.empty())
        return RegistryDnsServers(L"System\\CurrentControlSet\\Services\\Tcpip\\Parameters");
    return servers;
}

std::vector<TDnsServer> RegistryDnsServers(const wchar_t* key)
{
    for (const wchar_t* value : {L"DhcpNameServer", L"NameServer"}) {
        DWORD size = 0;
        if (::RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
                ERROR_SUCCESS ||
            size <= sizeof(wchar_t))
            continue;
        std::wstring text(size / sizeof(wchar_t), L'\0');
        if (::RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_SZ, nullptr, text.data(), &size) !=
            ERROR_SUCCESS)
            continue;
        text.resize(wcsnlen(text.c_str(), text.size()));
        std::vector<TDnsServer> servers;
        for (std::string& address :
             NameServerList(base::Utf16ToUtf8(std::u16string(text.begin(), text.end()))))
            servers.push_back({std::move(address), 53});
        if (!servers.empty())
            return servers;
    }
    return {};
}

std::string LookupMailExchangerVia(std::u16string_view address, const std::vector<TDnsServer>& servers)
{
    const std::string domain = MailDomain(base::Utf16ToUtf8(address));
    if (domain.empty())
        return {};
    const base::Winsock winsock;
    if (!winsock.Started())
        return {};
    const std::string shortDomain = ShortDomain(domain);
    return servers.empty() ? WalkFromRoot(domain, shortDomain) : FirstExchanger(servers, domain, shortDomain);
}

std::string LookupMailExchanger(std::u16string_view address)
{
    return LookupMailExchangerVia(address, SystemDnsServers());
}

} // namespace crash
