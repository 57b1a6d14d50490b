#include "crash/delivery/tracker_requests.h"

#include "crash/delivery/xml_scan.h"

namespace crash {

std::string PercentEncoded(std::string_view utf8)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z')) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(Digits[byte >> 4]);
            out.push_back(Digits[byte & 15]);
        }
    }
    return out;
}

std::string FogBugzQuery(std::string_view command,
                         std::span<const std::pair<std::string_view, std::string_view>> parameters)
{
    std::string out = "?cmd=" + std::string(command);
    for (const auto& [name, value] : parameters)
        out += "&" + std::string(name) + "=" + PercentEncoded(value);
    return out;
}

std::string RpcMember(const TRpcMember& member)
{
    if (member.Value.empty())
        return {};
    std::string value = "<" + member.Type + ">" + XmlEscaped(member.Value) + "</" + member.Type + ">";
    if (member.Array)
        value = "<array><data><value>" + value + "</value></data></array>";
    return "<member><name>" + XmlEscaped(member.Name) + "</name><value>" + value + "</value></member>";
}

std::string RpcCallHead(std::string_view command, std::string_view user, std::string_view password,
                        std::string_view members, bool withFile)
{
    std::string out = R"(<?xml version="1.0" encoding="UTF-8"?><methodCall><methodName>)" +
                      XmlEscaped(command) + "</methodName><params><param><value><struct>";
    if (!user.empty())
        out += RpcMember({"Bugzilla_login", "string", std::string(user)}) +
               RpcMember({"Bugzilla_password", "string", std::string(password)});
    out += members;
    if (withFile)
        out += "<member><name>data</name><value><base64>";
    return out;
}

std::string SoapValue(std::string_view name, std::string_view type, std::string_view value)
{
    return "<" + std::string(name) + " xsi:type=\"xsd:" + std::string(type) + "\">" + XmlEscaped(value) +
           "</" + std::string(name) + ">";
}

std::string SoapCallHead(std::string_view command, bool login, std::string_view user,
                         std::string_view password, std::string_view first, std::string_view second,
                         bool withFile)
{
    // The prefixes xsi, xsd and ns2 are declared for the whole call, so that a namespace-aware
    // parser reads it: an issue's objects follow its data outside the element that declares ns2.
    std::string out = R"(<?xml version="1.0" encoding="UTF-8"?><SOAP-ENV:Envelope )"
                      R"(xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/" )"
                      R"(xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" )"
                      R"(xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:ns2="ns2"><SOAP-ENV:Body><ns1:)" +
                      std::string(command) + R"( xmlns:ns1="ns1">)";
    if (login)
        out += SoapValue("username", "string", user) + SoapValue("password", "string", password);
    out += first;
    if (withFile)
        out += R"(<content xsi:type="xsd:base64Binary">)";
    else
        out += "</ns1:" + std::string(command) + ">" + std::string(second);
    return out;
}

std::string MantisIssueData(const TMantisIssue& issue)
{
    std::string out = R"(<ns2:IssueData id="1" xsi:type="ns2:IssueData" xmlns:ns2="ns2">)";
    if (!issue.ProjectId.empty())
        out += R"(<project href="#2"/>)";
    if (!issue.Version.empty())
        out += SoapValue("version", "string", issue.Version);
    if (!issue.HandlerId.empty())
        out += R"(<handler href="#3"/>)";
    if (!issue.PriorityId.empty())
        out += R"(<priority href="#4"/>)";
    if (!issue.SeverityId.empty())
        out += R"(<severity href="#5"/>)";
    out += SoapValue("summary", "string", issue.Summary) + SoapValue("category", "string", issue.Category) +
           SoapValue("os", "string", issue.Os) + SoapValue("description", "string", issue.Description);
    out += "</ns2:IssueData>";
    const auto object = [&](const char* name, const char* number, const char* type, const std::string& id) {
        if (!id.empty())
            out += std::string("<ns2:") + name + " id=\"" + number + "\" xsi:type=\"ns2:" + type + "\">" +
                   SoapValue("id", "long", id) + "</ns2:" + name + ">";
    };
    object("project", "2", "ObjectRef", issue.ProjectId);
    object("handler", "3", "AccountData", issue.HandlerId);
    object("priority", "4", "ObjectRef", issue.PriorityId);
    object("severity", "5", "ObjectRef", issue.SeverityId);
    return out;
}

std::string MantisOperatingSystem(std::string_view os)
{
    os = os.substr(0, os.find(" build"));
    // 31 characters, not bytes: a cut never splits one.
    size_t characters = 0, end = 0;
    while (end < os.size() && characters < 31) {
        ++end;
        while (end < os.size() && (static_cast<unsigned char>(os[end]) & 0xC0) == 0x80)
            ++end;
        ++characters;
    }
    return std::string(os.substr(0, end));
}

} // namespace crash
