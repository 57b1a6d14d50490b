#pragma once
// The requests the bug-tracker channels send: FogBugz's query strings, Bugzilla's XML-RPC calls
// and Mantis's SOAP calls. Every value goes in escaped (a report text holding "<", "&" or
// "]]>" cannot break or change a request); a file's Base64 is sent between a call's head and
// its end, so a call is built as those two texts. Platform-free; UTF-8 throughout.

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace crash {

// Every byte other than ASCII letters and digits as "%" and two hexadecimal digits.
std::string PercentEncoded(std::string_view utf8);
// "?cmd=" + command, then "&name=value" for each parameter, the values percent-encoded.
std::string FogBugzQuery(std::string_view command,
                         std::span<const std::pair<std::string_view, std::string_view>> parameters);

// One member of an XML-RPC struct; empty values are left out of a call.
struct TRpcMember
{
    std::string Name, Type, Value;
    bool Array = false;
};
std::string RpcMember(const TRpcMember& member);
// The call up to its members (with Bugzilla_login and Bugzilla_password first when `user` is
// given), and, when a file follows, the opening of its "data" member.
std::string RpcCallHead(std::string_view command, std::string_view user, std::string_view password,
                        std::string_view members, bool withFile);
// What follows the file's Base64, and the call's end.
inline constexpr std::string_view RpcFileEnd = "</base64></value></member>";
inline constexpr std::string_view RpcCallEnd = "</struct></value></param></params></methodCall>";

// A Mantis call's opening: the envelope, the command, the account for a call with `login`
// (even an empty one), the first parameter; then either the end of the command with the
// second parameter, or, when a file follows, the opening of its content.
std::string SoapCallHead(std::string_view command, bool login, std::string_view user,
                         std::string_view password, std::string_view first, std::string_view second,
                         bool withFile);
// What follows the file's Base64 (an attachment's content), and the call's end.
inline constexpr std::string_view SoapFileEnd = "</content></ns1:mc_issue_attachment_add>";
inline constexpr std::string_view SoapCallEnd = "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
// `<name xsi:type="xsd:type">value</name>`, the value escaped.
std::string SoapValue(std::string_view name, std::string_view type, std::string_view value);

// A new Mantis issue's data: the issue, then the objects it refers to by number. Ids that are
// empty are not referred to.
struct TMantisIssue
{
    std::string ProjectId, Version, HandlerId, PriorityId, SeverityId, Summary, Category, Os, Description;
};
std::string MantisIssueData(const TMantisIssue& issue);
// An operating system as Mantis takes it: what precedes " build", at most 31 characters.
std::string MantisOperatingSystem(std::string_view os);

} // namespace crash
