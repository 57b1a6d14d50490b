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

// The value of a struct's member (XML still), and a scalar value's text.
std::string MemberValue(std::string_view structure, std::string_view name)
{
    return ExtractXml(ExtractXml(structure, "<struct>|<member>", 0, "<name>", name), "<value>");
}

std::string Scalar(std::string_view value)
{
    for (const char* type : {"<string>", "<int>", "<i4>", "<double>", "<boolean>"})
        if (value.find(type) != std::string_view::npos)
            return ExtractXml(value, type);
    // A value without a type is a string.
    return value.find('<') == std::string_view::npos ? XmlUnescaped(value) : std::string();
}

TStrings Items(std::string_view arrayValue)
{
    return ExtractXmlAll(arrayValue, "<array>|<data>|<value>");
}

// The names of the items of a struct's array member.
TStrings Names(std::string_view structure, std::string_view member)
{
    TStrings names;
    for (const std::string& item : Items(MemberValue(structure, member)))
        names.push_back(Scalar(MemberValue(item, "name")));
    return names;
}

class TBugzilla
{
public:
    explicit TBugzilla(TWinHttp& http)
        : FHttp(http), FUser(base::Utf16ToUtf8(http.Target().TrackerUser)),
          FPassword(base::Utf16ToUtf8(http.Target().TrackerPassword))
    {
    }

    bool Init()
    {
        std::string result;
        if (!Call("Bugzilla.version", false, "", result))
            return false;
        FVersion = Scalar(MemberValue(result, "version"));
        FHttp.SetPosition(167);
        if (!FUser.empty() && !FPassword.empty() && !Call("Bugzilla.version", true, "", result))
            return false;
        FHttp.SetPosition(333);
        if (!Call("Product.get_enterable_products", true, "", result) ||
            !Call("Product.get", true, ExtractXml(result, "<struct>"), result))
            return false;
        for (const std::string& product : Items(MemberValue(result, "products"))) {
            const std::string name = Scalar(MemberValue(product, "name"));
            FProducts.push_back(name);
            for (std::string& component : Names(product, "components")) {
                FComponents.push_back(std::move(component));
                FComponentProducts.push_back(name);
            }
            for (std::string& version : Names(product, "versions")) {
                FVersions.push_back(std::move(version));
                FVersionProducts.push_back(name);
            }
        }
        FHttp.SetPosition(500);
        if (!Call("Bug.fields", true, "", result))
            return false;
        FHttp.SetPosition(667);
        std::vector<std::pair<std::string, TStrings>> fields;
        for (const std::string& field : Items(MemberValue(result, "fields")))
            fields.emplace_back(Scalar(MemberValue(field, "name")), Names(field, "values"));
        const auto values = [&](std::string_view name, std::string_view otherwise) {
            for (const std::string_view wanted : {name, otherwise})
                for (const auto& [fieldName, list] : fields)
                    if (fieldName == wanted)
                        return list;
            return TStrings();
        };
        FPriorities = values("priority", "priority");
        FSeverities = values("bug_severity", "severity");
        FOss = values("op_sys", "op_sys");
        FPlatforms = values("rep_platform", "platform");
        FHttp.SetPosition(833);
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
        std::string product = base::Utf16ToUtf8(bug.Project), component = base::Utf16ToUtf8(bug.Area),
                    version = base::Utf16ToUtf8(bug.Version), os = base::Utf16ToUtf8(bug.OperatingSystem),
                    priority = "P2", severity = "normal", platform = "PC";
        CheckListValue(product, FProducts, {});
        CheckDoubleListValue(component, FComponents, {}, FComponentProducts, product);
        CheckDoubleListValue(version, FVersions, {}, FVersionProducts, product);
        if (!CheckListValue(os, FOss, {}) && !FOss.empty()) {
            os = "other";
            CheckListValue(os, FOss, {});
        }
        CheckListValue(priority, FPriorities, {});
        CheckListValue(severity, FSeverities, {});
        CheckListValue(platform, FPlatforms, {});
        std::string alias = base::Utf16ToUtf8(bug.Crc);
        std::erase_if(alias, [](char c) { return c == ' ' || c == ','; });
        std::string members;
        for (const auto& [name, value] : std::initializer_list<std::pair<const char*, std::string>>{
                 {"product", product},
                 {"component", component},
                 {"summary", base::Utf16ToUtf8(bug.Title)},
                 {"version", version},
                 {"description", base::Utf16ToUtf8(bug.Description)},
                 {"op_sys", os},
                 {"alias", alias},
                 {"priority", priority},
                 {"severity", severity},
                 {"platform", platform},
                 {"assigned_to", base::Utf16ToUtf8(bug.AssignTo)}})
            members += RpcMember({name, "string", value});
        std::string result;
        if (!Call("Bug.create", true, members, result))
            return false;
        const std::string id = Scalar(MemberValue(result, "id"));
        if (id.empty())
            return FHttp.FailAnswer(u"Bugzilla gave no bug number.");
        SetLastIssueId(base::Utf8ToUtf16(id));
        for (size_t k = 0; k < opened.Handles.size(); ++k) {
            if (!opened.Handles[k])
                continue;
            if (opened.Sizes[k] == 0) { // nothing to attach; its part of the progress is done
                if (FHttp.Progress())
                    FHttp.Progress()->AreaDone();
                continue;
            }
            const std::u16string sendAs = k < files.SendAs.size() ? files.SendAs[k] : u"";
            const std::string name = base::Utf16ToUtf8(sendAs);
            const std::string attachment =
                RpcMember({"exclude_fields", "string", "data", true}) + RpcMember({"ids", "int", id, true}) +
                RpcMember({"file_name", "string", name}) + RpcMember({"summary", "string", name}) +
                RpcMember({"content_type", "string", base::Utf16ToUtf8(MimeTypeOf(sendAs))});
            if (!Call("Bug.add_attachment", true, attachment, result, opened.Handles[k].Get(),
                      opened.Sizes[k]))
                return false;
            if (FHttp.Progress())
                FHttp.Progress()->AreaDone();
        }
        return true;
    }

private:
    // A method call; its result value (XML still), or the fault's text as the last error.
    bool Call(std::string_view method, bool login, std::string_view members, std::string& result,
              HANDLE file = nullptr, uint64_t size = 0)
    {
        const std::string head = RpcCallHead(method, login ? FUser : "", FPassword, members, file != nullptr);
        std::string reply;
        if (!FHttp.PostXml(FHttp.Path() + u"/xmlrpc.cgi", head, file, size, RpcFileEnd, RpcCallEnd, reply))
            return false;
        const TStrings values = ExtractXmlAll(reply, "<methodResponse>|<params>|<value>");
        if (!values.empty()) {
            result = values[0];
            return true;
        }
        const std::string fault = Scalar(MemberValue(ExtractXml(reply, "<fault>|<value>"), "faultString"));
        return FHttp.FailAnswer(fault.empty() ? u"Bugzilla's answer is not understood."
                                              : base::Utf8ToUtf16(fault));
    }

    TWinHttp& FHttp;
    const std::string FUser, FPassword;
    std::string FVersion;
    TStrings FProducts, FComponents, FComponentProducts, FVersions, FVersionProducts;
    TStrings FPriorities, FSeverities, FOss, FPlatforms;
};

} // namespace

bool UploadBugToBugZilla(TWinHttp& http, const TTrackerCase& bug, const TPreparedDelivery& files)
{
    return TBugzilla(http).Upload(bug, files);
}

} // namespace crash
