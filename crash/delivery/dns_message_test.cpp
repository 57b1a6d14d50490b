#include "crash/delivery/dns_message.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

void Append(Bytes& out, std::initializer_list<int> bytes)
{
    for (const int b : bytes)
        out.push_back(static_cast<uint8_t>(b));
}

void Label(Bytes& out, std::string_view text)
{
    out.push_back(static_cast<uint8_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

// An answer to the MX query of maker.example: two exchanges, the first (preference 10) named
// through a compression pointer to the question's name, the second preferred (5).
Bytes Answer(int flags = 0x8180, int id = 1)
{
    Bytes m;
    Append(m, {id >> 8, id & 0xFF, flags >> 8, flags & 0xFF, 0, 1, 0, 2, 0, 0, 0, 0});
    Label(m, "maker"); // at 12
    Label(m, "example");
    Append(m, {0, 0, 15, 0, 1});
    Append(m, {0xC0, 12, 0, 15, 0, 1, 0, 0, 1, 0, 0, 8, 0, 10});
    Label(m, "mx1");
    Append(m, {0xC0, 12});
    Append(m, {0xC0, 12, 0, 15, 0, 1, 0, 0, 1, 0, 0, 21, 0, 5});
    Label(m, "mx2");
    Label(m, "other");
    Label(m, "example");
    Append(m, {0});
    return m;
}

TEST(DnsMessage, TheQueryIsLaidOutAsTheProtocolSays)
{
    EXPECT_EQ(DnsQuery("maker.example", TDnsType::MX, 1),
              (Bytes{0,   1,   1, 0,   0,   1,   0,   0,   0,   0,   0, 0, 5,  'm', 'a', 'k',
                     'e', 'r', 7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 0, 0, 15, 0,   1}));
    EXPECT_EQ(DnsQuery("example.", TDnsType::NS, 7).back(), 1);
    for (const std::string& bad : {std::string(), std::string("a..b"), std::string(64, 'x'),
                                   std::string(".lead"), std::string(300, 'a')})
        EXPECT_TRUE(DnsQuery(bad, TDnsType::MX, 1).empty()) << bad;
}

TEST(DnsMessage, TheExchangesOfAnAnswerWithCompressedNames)
{
    EXPECT_EQ(DnsAnswerNames(Answer(), TDnsType::MX, 1), (Names{"mx2.other.example", "mx1.maker.example"}));
    // Not this query's answer, an error, a query instead of a response, another record type.
    EXPECT_TRUE(DnsAnswerNames(Answer(), TDnsType::MX, 2).empty());
    EXPECT_TRUE(DnsAnswerNames(Answer(0x8183), TDnsType::MX, 1).empty());
    EXPECT_TRUE(DnsAnswerNames(Answer(0x0100), TDnsType::MX, 1).empty());
    EXPECT_TRUE(DnsAnswerNames(Answer(), TDnsType::NS, 1).empty());
    // Cut anywhere, an answer gives at most what it holds up to the cut.
    const Bytes whole = Answer();
    for (size_t size = 0; size < whole.size(); ++size) {
        const Names names = DnsAnswerNames(std::span(whole.data(), size), TDnsType::MX, 1);
        EXPECT_LE(names.size(), 1u) << size;
    }
}

TEST(DnsMessage, NameServersComeFromTheAuthoritySectionToo)
{
    Bytes m;
    Append(m, {0, 9, 0x81, 0x80, 0, 1, 0, 1, 0, 1, 0, 0});
    Label(m, "example");
    Append(m, {0, 0, 2, 0, 1});
    Append(m, {0xC0, 12, 0, 2, 0, 1, 0, 0, 1, 0, 0, 6});
    Label(m, "ns1");
    Append(m, {0xC0, 12});
    Append(m, {0xC0, 12, 0, 2, 0, 1, 0, 0, 1, 0, 0, 6});
    Label(m, "ns2");
    Append(m, {0xC0, 12});
    EXPECT_EQ(DnsAnswerNames(m, TDnsType::NS, 9), (Names{"ns1.example", "ns2.example"}));
    EXPECT_TRUE(DnsAnswerNames(m, TDnsType::MX, 9).empty());
    EXPECT_TRUE(DnsAdditionalAddresses(m, 9).empty());

    // A referral with glue: the name servers' addresses in the additional section, an IPv6
    // record among them passed over; a record cut short ends the list.
    m[11] = 3;
    const size_t ns1 = 12 + 9 + 4 + 12; // the first answer's data: "ns1" then a pointer
    Append(m, {0xC0, static_cast<int>(ns1), 0, 1, 0, 1, 0, 0, 1, 0, 0, 4, 192, 0, 2, 53});
    Append(m, {0xC0, static_cast<int>(ns1), 0, 28, 0, 1, 0, 0, 1, 0, 0, 16});
    m.insert(m.end(), 16, 0);
    Append(m, {0xC0, static_cast<int>(ns1), 0, 1, 0, 1, 0, 0, 1, 0, 0, 4, 10, 0});
    using Glue = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(DnsAdditionalAddresses(m, 9), (Glue{{"ns1.example", "192.0.2.53"}}));
    EXPECT_TRUE(DnsAdditionalAddresses(m, 8).empty()); // another query's answer
}

TEST(DnsMessage, PointersThatLoopOrLeadForwardEndTheReading)
{
    for (const int target : {51, 53, 200}) { // the pointer itself, past it, past the end
        Bytes m = Answer();
        ASSERT_EQ(m[51], 0xC0); // the second answer's owner name
        m[52] = static_cast<uint8_t>(target);
        EXPECT_EQ(DnsAnswerNames(m, TDnsType::MX, 1), (Names{"mx1.maker.example"})) << target;
    }
}

TEST(DnsMessage, DomainsOfAddresses)
{
    EXPECT_EQ(MailDomain("Bugs <bugs@mail.maker.example>"), "mail.maker.example");
    EXPECT_EQ(MailDomain("nobody"), "");
    EXPECT_EQ(ShortDomain("a.b.mail.maker.example"), "mail.maker.example");
    EXPECT_EQ(ShortDomain("maker.example"), "maker.example");
}

TEST(DnsMessage, NameServerListsOfTheRegistry)
{
    using Names = std::vector<std::string>;
    EXPECT_EQ(NameServerList("10.0.0.1,10.0.0.2"), (Names{"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(NameServerList(" 10.0.0.1 , ,10.0.0.2 "), (Names{"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(NameServerList("10.0.0.1 10.0.0.2  10.0.0.3"), (Names{"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
    EXPECT_EQ(NameServerList(""), Names{});
    EXPECT_EQ(NameServerList(" , "), Names{});
}

} // namespace
} // namespace crash
