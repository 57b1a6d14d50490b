#include "crash/delivery/tracker_upload_win.h"

#include "base/utf.h"
#include "crash/delivery/attachment_files_win.h"
#include "crash/delivery/tracker_choices.h"
#include "crash/delivery/tracker_requests.h"
#include "crash/delivery/xml_scan.h"

#include <windows.h>

#include <cstdlib>

namespace crash {
namespace {

using TParameters = std::initializer_list<std::pair<std::string_view, std::string_view>>;

std::u16string Ascii(std::string_view text)
{
    return std::u16string(text.begin(), text.end()); // query strings are percent-encoded ASCII
}

class TFogBugz
{
public:
    explicit TFogBugz(TWinHttp& http) : FHttp(http) {}

    // The API's version and script, then the lists of a logged-on session.
    bool Init()
    {
        std::string reply;
        if (!FHttp.Get(FHttp.Path() + u"/api.xml", reply))
            return false;
        const std::string minimum = ExtractXml(reply, "<minversion>"), url = ExtractXml(reply, "<url>");
        if (minimum.empty() || std::atoi(minimum.c_str()) >= 9 || url.empty())
            return FHttp.FailAnswer(u"The server does not offer a FogBugz API this program speaks.");
        FScript = u"/" + base::Utf8ToUtf16(std::string_view(url).substr(0, url.size() - 1));
        FHttp.SetPosition(111);
        std::string token;
        if (!Logon(token))
            return false;
        FHttp.SetPosition(222);
        std::string response;
        if (!Call("listProjects", {{"fWrite", "1"}, {"token", token}}, response))
            return false;
        FProjects = ExtractXmlAll(response, "<project>", "<sProject>");
        FHttp.SetPosition(333);
        if (!FProjects.empty()) {
            if (!Call("listAreas", {{"fWrite", "1"}, {"token", token}}, response))
                return false;
            for (const std::string& area : ExtractXmlAll(response, "<area>")) {
                FAreas.push_back(ExtractXml(area, "<sArea>"));
                FAreaProjects.push_back(ExtractXml(area, "<sProject>"));
            }
            FHttp.SetPosition(444);
            if (!Call("listCategories", {{"token", token}}, response))
                return false;
            FCategories = ExtractXmlAll(response, "<category>", "<sCategory>");
            FHttp.SetPosition(555);
            if (!Call("listPriorities", {{"token", token}}, response))
                return false;
            FPriorities = ExtractXmlAll(response, "<priority>", "<sPriority>");
            FHttp.SetPosition(666);
            if (!Call("listPeople", {{"token", token}}, response))
                return false;
            FPeople = ExtractXmlAll(response, "<person>", "<sFullName>");
            FHttp.SetPosition(777);
        }
        Logoff(token);
        FHttp.SetPosition(888);
        return true;
    }

    bool Logon(std::string& token)
    {
        std::string response;
        const std::string user = base::Utf16ToUtf8(FHttp.Target().TrackerUser),
                          password = base::Utf16ToUtf8(FHttp.Target().TrackerPassword);
        if (!Call("logon", {{"email", user}, {"password", password}}, response))
            return false;
        token = ExtractXml(response, "<token>");
        return !token.empty() || FHttp.FailAnswer(u"FogBugz gave no session.");
    }

    void Logoff(const std::string& token)
    {
        std::string response;
        Call("logoff", {{"token", token}}, response);
    }

    bool Upload(const TTrackerCase& bug, std::span<const TFormField> given, const TPreparedDelivery& files)
    {
        // The files first: those that open are named File1, File2... in order, and go in the
        // post (which opens them again).
        TPreparedDelivery named = files;
        int count = 0;
        {
            TOpenedAttachments opened;
            if (!FHttp.Settings() ||
                !OpenAttachmentFiles(FHttp.Progress(), *FHttp.Settings(), files.Files, false, false, opened))
                return FHttp.Fail(ERROR_FILE_NOT_FOUND, u"No attachment could be opened.");
            for (size_t k = 0; k < opened.Handles.size() && k < named.Fields.size(); ++k)
                if (opened.Handles[k])
                    named.Fields[k] = u"File" + Ascii(std::to_string(++count));
        }
        if (!Init())
            return false;
        std::string token;
        if (!Logon(token))
            return false;
        std::string project = base::Utf16ToUtf8(bug.Project), area = base::Utf16ToUtf8(bug.Area),
                    category = "bug", person = base::Utf16ToUtf8(bug.AssignTo);
        if (!CheckListValue(project, FProjects, {})) {
            project.clear();
            area.clear();
        } else if (!CheckDoubleListValue(area, FAreas, {}, FAreaProjects, project)) {
            area = "not spam";
            if (!CheckDoubleListValue(area, FAreas, {}, FAreaProjects, project))
                area.clear();
        }
        CheckListValue(category, FCategories, {});
        if (!CheckListValue(person, FPeople, {}))
            person.clear();
        std::vector<TFormField> fields(given.begin(), given.end());
        const std::u16string email = bug.Email;
        for (const auto& [name, value] : std::initializer_list<std::pair<const char16_t*, std::u16string>>{
                 {u"cmd", u"new"},
                 {u"token", base::Utf8ToUtf16(token)},
                 {u"sTitle", bug.Title},
                 {u"sEvent", bug.Description},
                 {u"sProject", base::Utf8ToUtf16(project)},
                 {u"sArea", base::Utf8ToUtf16(area)},
                 {u"sCategory", base::Utf8ToUtf16(category)},
                 {u"sPersonAssignedTo", base::Utf8ToUtf16(person)},
                 {u"sVersion", bug.Version},
                 {u"sComputer", bug.Computer},
                 {u"sCustomerEmail", email},
                 {u"ixMailbox", email},
                 {u"sScoutDescription", bug.Crc},
                 {u"nFileCount", Ascii(std::to_string(count))}})
            fields.push_back({name, value});
        std::string reply;
        const bool posted = FHttp.InternalPost(FHttp.Path() + FScript, u"", fields, named, reply);
        const bool filed = posted && reply.find("<case ixBug=") != std::string::npos;
        if (posted && !filed)
            FHttp.FailAnswer(ErrorOf(reply, u"FogBugz filed no case."));
        // The session ends in any case; why the case was not filed stays the failure.
        const uint32_t errorNo = FHttp.LastErrorNo();
        const std::u16string error = FHttp.LastErrorText();
        Logoff(token);
        if (!filed)
            FHttp.Fail(errorNo, error);
        return filed;
    }

private:
    static std::u16string ErrorOf(const std::string& reply, const std::u16string& otherwise)
    {
        const std::string error = ExtractXml(reply, "<error");
        return error.empty() ? otherwise : base::Utf8ToUtf16(error);
    }

    // A command with its parameters; the content of the answer's "response" element.
    bool Call(std::string_view command, TParameters parameters, std::string& response)
    {
        std::string reply;
        if (!FHttp.Get(FHttp.Path() + FScript +
                           Ascii(FogBugzQuery(command, std::span(parameters.begin(), parameters.size()))),
                       reply))
            return false;
        if (reply.find("<error") != std::string::npos)
            return FHttp.Fail(TrackerError, ErrorOf(reply, u"FogBugz reported an error."));
        response = ExtractXml(reply, "<response>");
        return true;
    }

    TWinHttp& FHttp;
    std::u16string FScript;
    std::vector<std::string> FProjects, FAreas, FAreaProjects, FCategories, FPriorities, FPeople;
};

} // namespace

bool UploadBugToFogBugz(TWinHttp& http, const TTrackerCase& bug, std::span<const TFormField> fields,
                        const TPreparedDelivery& files)
{
    return TFogBugz(http).Upload(bug, fields, files);
}

} // namespace crash
