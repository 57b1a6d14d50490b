#include "crash/delivery/tracker_requests.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

TEST(TrackerRequests, FogBugzQueriesEncodeEveryByteButLettersAndDigits)
{
    const std::pair<std::string_view, std::string_view> parameters[] = {{"email", "j\xc3\xbc@x.de"},
                                                                        {"password", "a b&c=d"}};
    EXPECT_EQ(FogBugzQuery("logon", parameters), "?cmd=logon&email=j%C3%BC%40x%2Ede&password=a%20b%26c%3Dd");
}

TEST(TrackerRequests, XmlRpcCallsCarryEscapedValuesAndLeaveEmptyOnesOut)
{
    const std::string members = RpcMember({"summary", "string", "a < b && c ]]> d"}) +
                                RpcMember({"alias", "string", ""}) + RpcMember({"ids", "int", "42", true});
    EXPECT_EQ(
        RpcCallHead("Bug.create", "me@x", "p<w", members, false) + std::string(RpcCallEnd),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><methodCall><methodName>Bug.create</methodName>"
        "<params><param><value><struct>"
        "<member><name>Bugzilla_login</name><value><string>me@x</string></value></member>"
        "<member><name>Bugzilla_password</name><value><string>p&lt;w</string></value></member>"
        "<member><name>summary</name><value><string>a &lt; b &amp;&amp; c ]]&gt; d</string></value></member>"
        "<member><name>ids</name><value><array><data><value><int>42</int></value></data></array></value>"
        "</member></struct></value></param></params></methodCall>");
    EXPECT_TRUE(RpcCallHead("Bug.add_attachment", "", "", "", true)
                    .ends_with("<member><name>data</name><value><base64>"));
    // The lengths a call announces after its head: the end alone, or the file's end with it.
    EXPECT_EQ(RpcCallEnd.size(), 47u);
    EXPECT_EQ(RpcFileEnd.size() + RpcCallEnd.size(), 73u);
    EXPECT_EQ(SoapCallEnd.size(), 36u);
    EXPECT_EQ(SoapFileEnd.size() + SoapCallEnd.size(), 76u);
}

TEST(TrackerRequests, SoapCallsAndTheIssueData)
{
    const std::string call = SoapCallHead(
        "mc_issue_add", true, "me", "pw", "<issue href=\"#1\"/>",
        MantisIssueData({"7", "", "12", "30", "", "Crash & burn", "General", "Windows 10", "<details>"}),
        false);
    EXPECT_NE(
        call.find(
            "<ns1:mc_issue_add xmlns:ns1=\"ns1\"><username xsi:type=\"xsd:string\">me</username>"
            "<password xsi:type=\"xsd:string\">pw</password><issue href=\"#1\"/></ns1:mc_issue_add>"
            "<ns2:IssueData id=\"1\" xsi:type=\"ns2:IssueData\" xmlns:ns2=\"ns2\"><project href=\"#2\"/>"
            "<handler href=\"#3\"/><priority href=\"#4\"/>"
            "<summary xsi:type=\"xsd:string\">Crash &amp; burn</summary>"),
        std::string::npos)
        << call;
    EXPECT_TRUE(
        call.ends_with("<description xsi:type=\"xsd:string\">&lt;details&gt;</description></ns2:IssueData>"
                       "<ns2:project id=\"2\" xsi:type=\"ns2:ObjectRef\"><id xsi:type=\"xsd:long\">7</id>"
                       "</ns2:project><ns2:handler id=\"3\" xsi:type=\"ns2:AccountData\">"
                       "<id xsi:type=\"xsd:long\">12</id></ns2:handler>"
                       "<ns2:priority id=\"4\" xsi:type=\"ns2:ObjectRef\"><id xsi:type=\"xsd:long\">30</id>"
                       "</ns2:priority>"))
        << call;
    EXPECT_TRUE(
        SoapCallHead("mc_issue_attachment_add", true, "", "", "", "", true)
            .ends_with("<ns1:mc_issue_attachment_add xmlns:ns1=\"ns1\"><username xsi:type=\"xsd:string\">"
                       "</username><password xsi:type=\"xsd:string\"></password>"
                       "<content xsi:type=\"xsd:base64Binary\">"));
    // A call without login has no account at all.
    EXPECT_EQ(SoapCallHead("mc_version", false, "me", "pw", "", "", false).find("username"),
              std::string::npos);
}

TEST(TrackerRequests, AnIssueRefersToNoObjectItDoesNotCarry)
{
    const std::string data = MantisIssueData({});
    EXPECT_EQ(data.find("href"), std::string::npos) << data;
    EXPECT_EQ(data.find("<ns2:project"), std::string::npos) << data;
}

TEST(TrackerRequests, MantisTakesTheOperatingSystemBeforeItsBuild)
{
    EXPECT_EQ(MantisOperatingSystem("Windows 10 Pro x64 build 19045"), "Windows 10 Pro x64");
    EXPECT_EQ(MantisOperatingSystem("Windows Server 2022 Datacenter Evaluation Edition"),
              "Windows Server 2022 Datacenter ");
    // 31 characters, each whole.
    EXPECT_EQ(MantisOperatingSystem(std::string(30, 'a') + "\xc3\xa4\xc3\xb6"),
              std::string(30, 'a') + "\xc3\xa4");
}

} // namespace
} // namespace crash
