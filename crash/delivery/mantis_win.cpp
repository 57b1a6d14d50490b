#include "crash/delivery/tracker_upload_win.h"

#include "base/utf.h"
#include "crash/delivery/attachment_files_win.h"
#include "crash/delivery/tracker_choices.h"
#include "crash/delivery/tracker_requests.h"
#include "crash/delivery/xml_scan.h"
#include "crash/delivery/zip_archive.h"

namespace crash {
namespace {

using TStrings = std::vector<std::string>;

// Subprojects deeper than this are not listed (a reply cannot make the reading recurse
// without end).
constexpr int MaxProjectDepth = 8;

TStrings Items(std::string_view array)
{
    return ExtractXmlAll(array, "<item");
}

class TMantis
{
public:
    explicit TMantis(TWinHttp& http)
        : FHttp(http), FUser(base::Utf16ToUtf8(http.Target().TrackerUser)),
          FPassword(base::Utf16ToUtf8(http.Target().TrackerPassword))
    {
    }

    bool Init()
    {
        std::string result;
        if (!Call("mc_version", false, "", "", result))
            return false;
        FVersion = result;
        FHttp.SetPosition(50);
        if (!Call("mc_projects_get_user_accessible", true, "", "", result))
            return false;
        AddProjects(result, "", 0);
        FHttp.SetPosition(100);
        if (!Call("mc_enum_access_levels", true, "", "", result))
            return false;
        std::string developer;
        for (const std::string& level : Items(result))
            if (ExtractXml(level, "<name") == "developer")
                developer = ExtractXml(level, "<id");
        FHttp.SetPosition(150);
        for (size_t k = 0; k < FProjects.size(); ++k) {
            const std::string project = SoapValue("project_id", "integer", FProjectIds[k]);
            if (!Call("mc_project_get_categories", true, project, "", result))
                return false;
            for (std::string& category : Items(result)) {
                FAreas.push_back(std::move(category));
                FAreaProjects.push_back(FProjects[k]);
            }
            if (!Call("mc_project_get_versions", true, project, "", result))
                return false;
            for (const std::string& version : Items(result)) {
                FVersions.push_back(ExtractXml(version, "<name"));
                FVersionProjects.push_back(FProjects[k]);
            }
            if (!Call("mc_project_get_users", true, project + SoapValue("access", "integer", developer), "",
                      result))
                return false;
            for (const std::string& user : Items(result)) {
                FUsers.push_back(ExtractXml(user, "<name"));
                FUserIds.push_back(ExtractXml(user, "<id"));
                FUserProjects.push_back(FProjects[k]);
            }
            FHttp.SetPosition(static_cast<int32_t>(150 + 700 * (k + 1) / FProjects.size()));
        }
        if (!Call("mc_enum_priorities", true, "", "", result))
            return false;
        ReadEnumeration(result, FPriorities, FPriorityIds);
        FHttp.SetPosition(900);
        if (!Call("mc_enum_severities", true, "", "", result))
            return false;
        ReadEnumeration(result, FSeverities, FSeverityIds);
        FHttp.SetPosition(950);
        return true;
    }

    bool Upload(const TTrackerCase& bug, const TPreparedDelivery& files)
    {
        TOpenedAttachments opened;
        if (!FHttp.Settings() ||
            !OpenAttachmentFiles(FHttp.Progress(), *FHttp.Settings(), files.Files, false, false, opened))
            return FHttp.Fail(ERROR_FILE_NOT_FOUND, u"No attachment could be opened.");
        if (!Init())
            return false;
        std::string project = base::Utf16ToUtf8(bug.Project);
        TMantisIssue issue;
        issue.Version = base::Utf16ToUtf8(bug.Version);
        issue.HandlerId = base::Utf16ToUtf8(bug.AssignTo);
        issue.PriorityId = "normal";
        issue.SeverityId = "crash";
        issue.Category = base::Utf16ToUtf8(bug.Area);
        // Against the project's choices first, while the project is still its name.
        CheckListValue(project, FProjects, {});
        if (!CheckDoubleListValue(issue.Version, FVersions, {}, FVersionProjects, project))
            issue.Version.clear();
        if (!CheckDoubleListValue(issue.HandlerId, FUsers, FUserIds, FUserProjects, project))
            issue.HandlerId.clear();
        if (!CheckListValue(issue.PriorityId, FPriorities, FPriorityIds))
            issue.PriorityId.clear();
        if (!CheckListValue(issue.SeverityId, FSeverities, FSeverityIds))
            issue.SeverityId.clear();
        CheckDoubleListValue(issue.Category, FAreas, {}, FAreaProjects, project);
        issue.ProjectId = project;
        CheckListValue(issue.ProjectId, FProjects, FProjectIds);
        issue.Os = MantisOperatingSystem(base::Utf16ToUtf8(bug.OperatingSystem));
        issue.Summary = base::Utf16ToUtf8(bug.Title);
        issue.Description = base::Utf16ToUtf8(bug.Description);
        std::string id;
        if (!Call("mc_issue_add", true, R"(<issue href="#1"/>)", MantisIssueData(issue), id))
            return false;
        if (id.empty())
            return FHttp.FailAnswer(u"Mantis gave no issue number.");
        SetLastIssueId(base::Utf8ToUtf16(id));
        std::string result;
        for (size_t k = 0; k < opened.Handles.size(); ++k) {
            if (!opened.Handles[k])
                continue;
            if (opened.Sizes[k] == 0) { // nothing to attach; its part of the progress is done
                if (FHttp.Progress())
                    FHttp.Progress()->AreaDone();
                continue;
            }
            const std::u16string sendAs = k < files.SendAs.size() ? files.SendAs[k] : u"";
            const std::string parameters =
                SoapValue("issue_id", "long", id) + SoapValue("name", "string", base::Utf16ToUtf8(sendAs)) +
                SoapValue("file_type", "string", base::Utf16ToUtf8(MimeTypeOf(sendAs)));
            if (!Call("mc_issue_attachment_add", true, parameters, "", result, opened.Handles[k].Get(),
                      opened.Sizes[k]))
                return false;
            if (FHttp.Progress())
                FHttp.Progress()->AreaDone();
        }
        return true;
    }

private:
    // The accessible projects with their ids; a subproject as "parent/child".
    void AddProjects(std::string_view array, const std::string& prefix, int depth)
    {
        if (depth >= MaxProjectDepth)
            return;
        for (const std::string& item : Items(array)) {
            const std::string name = prefix + ExtractXml(item, "<name");
            FProjects.push_back(name);
            FProjectIds.push_back(ExtractXml(item, "<id"));
            AddProjects(ExtractXml(item, "<subprojects"), name + "/", depth + 1);
        }
    }

    static void ReadEnumeration(std::string_view array, TStrings& names, TStrings& ids)
    {
        for (const std::string& item : Items(array)) {
            names.push_back(ExtractXml(item, "<name"));
            ids.push_back(ExtractXml(item, "<id"));
        }
    }

    // A call; the content of the answer's "return" element, or the fault's text as the last
    // error.
    bool Call(std::string_view command, bool login, std::string_view first, std::string_view second,
              std::string& result, HANDLE file = nullptr, uint64_t size = 0)
    {
        const std::string head =
            SoapCallHead(command, login, FUser, FPassword, first, second, file != nullptr);
        std::string reply;
        const bool answered =
            FHttp.PostXml(FHttp.Path() + u"/api/soap/mantisconnect.php/" + base::Utf8ToUtf16(command), head,
                          file, size, SoapFileEnd, SoapCallEnd, reply);
        const TStrings returned = ExtractXmlAll(reply, "<return");
        if (answered && !returned.empty()) {
            result = returned[0];
            return true;
        }
        // A fault comes with status 500: its text says more than the status.
        const std::string fault = ExtractXml(reply, "<faultstring");
        if (!answered && fault.empty())
            return false;
        return FHttp.FailAnswer(fault.empty() ? u"Mantis's answer is not understood."
                                              : base::Utf8ToUtf16(fault));
    }

    TWinHttp& FHttp;
    const std::string FUser, FPassword;
    std::string FVersion;
    TStrings FProjects, FProjectIds, FAreas, FAreaProjects, FVersions, FVersionProjects;
    TStrings FUsers, FUserIds, FUserProjects, FPriorities, FPriorityIds, FSeverities, FSeverityIds;
};

} // namespace

bool UploadBugToMantis(TWinHttp& http, const TTrackerCase& bug, const TPreparedDelivery& files)
{
    return TMantis(http).Upload(bug, files);
}

} // namespace crash
