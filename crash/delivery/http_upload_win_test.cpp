// The upload channels against real web servers on 127.0.0.1 (testing/with_upload_servers.sh):
// what a server's own MIME parser finds in a post, field by field and byte by byte; TLS with
// certificates that verify and ones that do not; Basic authentication; redirects; servers that
// fail in the ways servers fail; and the three bug trackers' stand-ins, which parse every call
// as the trackers do and record the values they found.

#include "crash/delivery/deliver_bug_report_win.h"
#include "crash/delivery/http_upload_win.h"
#include "crash/delivery/tracker_upload_win.h"
#include "crash/delivery/win_http_win.h"

#include "base/utf.h"
#include "base/win_handle.h"
#include "crash/core/intercept/testing/child_process.h"
#include "crash/delivery/testing/peer_records_win.h"
#include "crash/settings/module_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace crash {
namespace {

using testing::TField;
using testing::TReceived;

// The plain, the TLS and the self-signed server's ports.
struct TPorts
{
    int Plain = 0, Tls = 0, SelfSigned = 0;
};
TPorts Ports()
{
    TPorts p;
    std::istringstream(testing::Env("LUMIGATE_UPLOAD_PORTS")) >> p.Plain >> p.Tls >> p.SelfSigned;
    return p;
}

std::u16string Url(const char* scheme, const char* host, int port, const char* path)
{
    return base::Utf8ToUtf16(std::string(scheme) + "://" + host + ":" + std::to_string(port) + path);
}

[[maybe_unused]] ::testing::Environment* const Authority =
    ::testing::AddGlobalTestEnvironment(new testing::TTrustedAuthority("LUMIGATE_UPLOAD_CA"));

std::vector<TReceived> NewPosts()
{
    return testing::NewRecords("LUMIGATE_UPLOAD_RESULTS");
}

TEST(HttpUpload, AReportWithItsFilesAndFieldsArrivesByteForByte)
{
    const base::ComPtr<ReportSettings> s = ModuleSettingsFor(nullptr);
    s->SetPropBool("UploadViaHttp", true);
    s->SetPropStr("HttpServer", Url("http", "localhost", Ports().Plain, "/upload/report.php"));
    s->SetPropBool("AttachBugRep", true);
    s->SetPropBool("AttachBugRepFile", false);
    s->SetPropStr("BugRepSendAs", u"bugreport.txt");
    s->SetPropStr("BugRepZip", u"");
    s->SetPropStr("MailAddr", u"Bugs <bugs@maker.example>");
    s->SetPropBool("MailViaMailto", false);
    const std::wstring binary = testing::Beside(L"Einstellungen \u00c4 \u20ac.bin");
    const std::string data = testing::Awkward(300000);
    testing::WriteWholeFile(binary, data);
    s->GetAdditionalAttachments()->Clear();
    s->GetAdditionalAttachments()->Add(std::u16string(binary.begin(), binary.end()), u"", u"",
                                       u"Einstellungen");
    s->GetAdditionalFields()->SetContent(u"Kunde", u"J\u00fcrgen M\u00fcller");
    s->GetAdditionalFields()->SetContent(u"Fehler \u20ac", u"\u041e\u0448\u0438\u0431\u043a\u0430");
    NewPosts();

    const std::u16string report =
        u"date/time        : 1\r\nexception class  : EDivByZero\r\n\r\nerror details:\r\n"
        u"It broke.";
    EXPECT_EQ(DeliverBugReport(report, nullptr, nullptr, nullptr, false, base::ComPtr<IReportSettings>(s),
                               false, true),
              1)
        << base::Utf16ToUtf8(LastHttpOutcome().ErrorText);
    const std::vector<TReceived> posts = NewPosts();
    ASSERT_EQ(posts.size(), 1u);
    const TReceived& post = posts[0];
    EXPECT_EQ(post.Path, "/upload/report.php");
    EXPECT_EQ(post.From, "Vexcatch <bugs@maker.example>");
    EXPECT_EQ(post.Field("Kunde"), (TField{"Kunde", "iso-8859-1", "J\xc3\xbcrgen M\xc3\xbcller"}));
    EXPECT_EQ(post.Field("Fehler \xe2\x82\xac"),
              (TField{"Fehler \xe2\x82\xac", "utf-8", "\xd0\x9e\xd1\x88\xd0\xb8\xd0\xb1\xd0\xba\xd0\xb0"}));
    EXPECT_EQ(post.Field("MailAddr").Text, "Bugs <bugs@maker.example>");
    ASSERT_EQ(post.Files.size(), 2u);
    EXPECT_EQ(post.Files[0].Field, "BugReport");
    EXPECT_EQ(post.Files[0].Name, "bugreport.txt");
    EXPECT_NE(post.Files[0].Data.find("exception class  : EDivByZero"), std::string::npos);
    EXPECT_EQ(post.Files[1].Field, "Einstellungen");
    EXPECT_EQ(post.Files[1].Name, "Einstellungen \xc3\x84 \xe2\x82\xac.bin");
    EXPECT_TRUE(post.Files[1].Data == data)
        << "the file arrived changed (" << post.Files[1].Data.size() << " bytes)";
    ::DeleteFileW(binary.c_str());
    s->GetAdditionalAttachments()->Clear();
    s->GetAdditionalFields()->Delete(u"Kunde");
    s->GetAdditionalFields()->Delete(u"Fehler \u20ac");
}

// A post of one field through a client of its own.
bool PostTo(THttpTarget target, std::u16string* error = nullptr, const TPreparedDelivery& files = {})
{
    const base::ComPtr<ReportSettings> s = ModuleSettingsFor(nullptr);
    TWinHttp client(target, s.Get(), nullptr);
    const TFormField fields[] = {{u"note", u"hello"}};
    const bool posted = client.Post(u"", fields, files);
    if (error)
        *error = client.LastErrorText();
    return posted;
}

THttpTarget Target(std::u16string url, bool ssl = false)
{
    THttpTarget target;
    target.Url = std::move(url);
    target.Ssl = ssl;
    target.TimeoutMs = 3000;
    return target;
}

TEST(HttpUpload, OverTlsTheServersCertificateMustVerify)
{
    NewPosts();
    const TPorts p = Ports();
    std::u16string error;
    EXPECT_TRUE(PostTo(Target(Url("https", "localhost", p.Tls, "/upload"), true), &error))
        << base::Utf16ToUtf8(error);
    // Issued by the trusted authority, but to another name; and issued by nobody trusted.
    for (const std::u16string& url :
         {Url("https", "127.0.0.1", p.Tls, "/upload"), Url("https", "localhost", p.SelfSigned, "/upload")}) {
        EXPECT_FALSE(PostTo(Target(url, true), &error)) << base::Utf16ToUtf8(url);
        // Wine's WinHTTP reports a name that does not match as a failed secure channel (12157).
        EXPECT_TRUE(error.find(u"certificate") != std::u16string::npos ||
                    error.find(u"No secure connection") != std::u16string::npos)
            << base::Utf16ToUtf8(url) << ": " << base::Utf16ToUtf8(error);
        THttpTarget anyCertificate = Target(url, true);
        anyCertificate.AcceptAnyCertificate = true;
        EXPECT_TRUE(PostTo(anyCertificate, &error)) << base::Utf16ToUtf8(error);
    }
    EXPECT_EQ(NewPosts().size(), 3u); // refused connections carry nothing
}

TEST(HttpUpload, BasicAuthenticationGetsTheWholeBodyAgain)
{
    const std::wstring file = testing::Beside(L"upload.bin");
    const std::string data = testing::Awkward(70000);
    testing::WriteWholeFile(file, data);
    const TPreparedDelivery files{{std::u16string(file.begin(), file.end())}, {u"upload.bin"}, {u"File1"}};
    NewPosts();
    THttpTarget target = Target(Url("http", "localhost", Ports().Plain, "/auth"));
    std::u16string error;
    EXPECT_FALSE(PostTo(target, &error, files));
    EXPECT_NE(error.find(u"401"), std::u16string::npos) << base::Utf16ToUtf8(error);
    EXPECT_EQ(NewPosts().size(), 1u);

    target.HttpUser = u"tester";
    target.HttpPassword = u"pa:ss";
    EXPECT_TRUE(PostTo(target, &error, files)) << base::Utf16ToUtf8(error);
    const std::vector<TReceived> posts = NewPosts();
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(posts[0].Auth, "");
    EXPECT_EQ(posts[1].Auth, "Basic dGVzdGVyOnBhOnNz");
    for (const TReceived& post : posts) {
        EXPECT_EQ(post.Fields, (std::vector<TField>{{"note", "iso-8859-1", "hello"}}));
        ASSERT_EQ(post.Files.size(), 1u);
        EXPECT_TRUE(post.Files[0].Data == data);
    }
    ::DeleteFileW(file.c_str());
}

std::vector<std::wstring> Opened;

TEST(HttpUpload, ARedirectDeliversAndOnlyAWebAddressIsOpened)
{
    Opened.clear();
    SetRedirectOpener([](const std::wstring& url) { Opened.push_back(url); });
    const int port = Ports().Plain;
    EXPECT_TRUE(PostTo(Target(Url("http", "localhost", port, "/redirect?to=https://maker.example/thanks"))));
    EXPECT_EQ(Opened, std::vector<std::wstring>{L"https://maker.example/thanks"});
    EXPECT_EQ(LastHttpOutcome().Redirect, u"https://maker.example/thanks");
    for (const char* target :
         {"file:///C:/windows/system32/calc.exe", "C:\\windows\\notepad.exe", "javascript:x"}) {
        EXPECT_TRUE(
            PostTo(Target(Url("http", "localhost", port, (std::string("/redirect?to=") + target).c_str()))));
        EXPECT_EQ(LastHttpOutcome().Redirect, base::Utf8ToUtf16(target));
    }
    THttpTarget ignoring = Target(Url("http", "localhost", port, "/redirect?to=http://maker.example/"));
    ignoring.IgnoreRedirect = true;
    EXPECT_TRUE(PostTo(ignoring));
    EXPECT_EQ(Opened.size(), 1u);
    SetRedirectOpener(nullptr);
}

TEST(HttpUpload, ServersThatFailEndTheChannelWithAReason)
{
    const int port = Ports().Plain;
    for (const char* path : {"/status/500", "/status/404", "/close", "/stall"}) {
        std::u16string error;
        EXPECT_FALSE(PostTo(Target(Url("http", "localhost", port, path)), &error)) << path;
        EXPECT_FALSE(error.empty()) << path;
        if (std::string_view(path).starts_with("/status/")) {
            EXPECT_NE(base::Utf16ToUtf8(error).find(path + 8), std::string::npos) << base::Utf16ToUtf8(error);
        }
    }
    // The status decides: a 17 MB answer to a post that the server took is no failure.
    EXPECT_TRUE(PostTo(Target(Url("http", "localhost", port, "/huge"))));
    // Nothing listens on port 1.
    std::u16string error;
    EXPECT_FALSE(PostTo(Target(u"http://127.0.0.1:1/upload"), &error));
    EXPECT_FALSE(error.empty());
    const base::ComPtr<ReportSettings> s = ModuleSettingsFor(nullptr);
    TWinHttp client(Target(Url("http", "localhost", port, "")), s.Get(), nullptr);
    std::string reply;
    EXPECT_FALSE(client.Get(u"/stall", reply));
}

// The trackers' stand-ins (testing/trackers.py): their account, and a case whose texts hold
// what XML must escape.
constexpr char16_t TrackerUser[] = u"reporter@maker.example", TrackerPassword[] = u"s3cr<e>t&";

THttpTarget TrackerTarget(const char* path, const char16_t* password = TrackerPassword)
{
    THttpTarget target = Target(Url("http", "localhost", Ports().Plain, path));
    target.TrackerUser = TrackerUser;
    target.TrackerPassword = password;
    return target;
}

TTrackerCase Case()
{
    TTrackerCase bug;
    bug.Title = u"Crash <in> setup & more ]]>";
    bug.Description = u"error details:\r\n\"<x>\" & 'y' \u20ac";
    bug.Version = u"2.0";
    bug.Computer = u"VM-01";
    bug.OperatingSystem = u"Windows 10 Pro x64 build 19045";
    bug.Email = u"Vexcatch <bugs@maker.example>";
    bug.Crc = u"$11111111, $22222222, $33333333";
    return bug;
}

// The report, an empty file (no tracker gets it) and a binary one.
struct TTrackerFiles
{
    TTrackerFiles()
    {
        testing::WriteWholeFile(Report, "exception class  : EDivByZero\r\n");
        testing::WriteWholeFile(Empty, "");
        testing::WriteWholeFile(Binary, Data);
    }
    ~TTrackerFiles()
    {
        for (const std::wstring& file : {Report, Empty, Binary})
            ::DeleteFileW(file.c_str());
    }
    static std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }
    const std::wstring Report = testing::Beside(L"tracker report.txt"), Empty = testing::Beside(L"empty.log"),
                       Binary = testing::Beside(L"shot.png");
    const std::string Data = testing::Awkward(5000);
    const TPreparedDelivery Prepared{{U16(Report), U16(Empty), U16(Binary)},
                                     {u"bugreport.txt", u"empty.log", u"screen \u00e4.png"},
                                     {u"BugReport", u"Empty", u"ScreenShot"}};
};

std::string Text(const std::u16string& text)
{
    return base::Utf16ToUtf8(text);
}

std::vector<TField> Values(std::initializer_list<std::pair<std::string, std::string>> values)
{
    std::vector<TField> fields;
    for (const auto& [name, value] : values)
        fields.push_back({name, "", value});
    return fields;
}

TEST(BugTrackers, BugzillaGetsTheCaseAndItsFilesOverXmlRpc)
{
    const TTrackerFiles files;
    const base::ComPtr<ReportSettings> s = ModuleSettingsFor(nullptr);
    TTrackerCase bug = Case();
    bug.Project = u"LUMIGATE";
    bug.Area = u"download";
    bug.AssignTo = u"ada@maker.example";
    NewPosts();
    TWinHttp http(TrackerTarget("/bugzilla"), s.Get(), nullptr);
    ASSERT_TRUE(UploadBugToBugZilla(http, bug, files.Prepared)) << Text(http.LastErrorText());
    EXPECT_EQ(LastHttpOutcome().IssueId, u"4711");
    const std::vector<TReceived> calls = NewPosts();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].Path, "Bug.create");
    // Known values as the tracker spells them, an unknown system as "other", the defaults.
    EXPECT_EQ(calls[0].Fields, Values({{"alias", "$11111111$22222222$33333333"},
                                       {"assigned_to", "ada@maker.example"},
                                       {"component", "Download"},
                                       {"description", Text(bug.Description)},
                                       {"op_sys", "other"},
                                       {"platform", "PC"},
                                       {"priority", "P2"},
                                       {"product", "Lumigate"},
                                       {"severity", "normal"},
                                       {"summary", Text(bug.Title)},
                                       {"version", "2.0"}}));
    EXPECT_EQ(calls[1].Path, "Bug.add_attachment");
    EXPECT_EQ(calls[1].Fields, Values({{"content_type", "text/plain"},
                                       {"exclude_fields", "['data']"},
                                       {"file_name", "bugreport.txt"},
                                       {"ids", "[4711]"},
                                       {"summary", "bugreport.txt"}}));
    ASSERT_EQ(calls[2].Files.size(), 1u);
    EXPECT_EQ(calls[2].Files[0].Name, "screen \xc3\xa4.png");
    EXPECT_TRUE(calls[2].Files[0].Data == files.Data);

    TWinHttp refused(TrackerTarget("/bugzilla", u"wrong"), s.Get(), nullptr);
    EXPECT_FALSE(UploadBugToBugZilla(refused, bug, files.Prepared));
    EXPECT_EQ(refused.LastErrorText(), u"The username or password you entered is not valid.");
    EXPECT_EQ(refused.LastErrorNo(), TrackerError);
}

TEST(BugTrackers, FogBugzFilesACaseAsAFormPost)
{
    const TTrackerFiles files;
    const base::ComPtr<ReportSettings> s = ModuleSettingsFor(nullptr);
    TTrackerCase bug = Case();
    bug.Project = u"r&d <TOOLS>";
    bug.Area = u"Printing"; // not an area of the project: "Not Spam" is
    bug.AssignTo = u"J\u00fcrgen M\u00fcller";
    const TFormField given[] = {{u"Kunde", u"Meier"}};
    NewPosts();
    TWinHttp http(TrackerTarget("/fogbugz"), s.Get(), nullptr);
    ASSERT_TRUE(UploadBugToFogBugz(http, bug, given, files.Prepared)) << Text(http.LastErrorText());
    std::vector<TReceived> posts = NewPosts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].Path, "/fogbugz/api.asp");
    std::vector<std::pair<std::string, std::string>> fields;
    for (const TField& f : posts[0].Fields)
        fields.emplace_back(f.Name, f.Text);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Kunde", "Meier"},
        {"cmd", "new"},
        {"token", "t0k&n"},
        {"sTitle", Text(bug.Title)},
        {"sEvent", Text(bug.Description)},
        {"sProject", "R&D <tools>"},
        {"sArea", "Not Spam"},
        {"sCategory", "Bug"},
        {"sPersonAssignedTo", "J\xc3\xbcrgen M\xc3\xbcller"},
        {"sVersion", "2.0"},
        {"sComputer", "VM-01"},
        {"sCustomerEmail", "Vexcatch <bugs@maker.example>"},
        {"ixMailbox", "Vexcatch <bugs@maker.example>"},
        {"sScoutDescription", "$11111111, $22222222, $33333333"},
        {"nFileCount", "3"}};
    EXPECT_EQ(fields, expected);
    ASSERT_EQ(posts[0].Files.size(), 3u);
    EXPECT_EQ(posts[0].Files[2].Field, "File3");
    EXPECT_TRUE(posts[0].Files[2].Data == files.Data);

    // A project the tracker does not have: the case goes without project and area.
    bug.Project = u"Nowhere";
    ASSERT_TRUE(UploadBugToFogBugz(http, bug, {}, files.Prepared)) << Text(http.LastErrorText());
    posts = NewPosts();
    ASSERT_EQ(posts.size(), 1u);
    for (const TField& f : posts[0].Fields) {
        if (f.Name == "sProject" || f.Name == "sArea") {
            EXPECT_EQ(f.Text, "") << f.Name;
        }
    }

    TWinHttp refused(TrackerTarget("/fogbugz", u"wrong"), s.Get(), nullptr);
    EXPECT_FALSE(UploadBugToFogBugz(refused, bug, {}, files.Prepared));
    EXPECT_EQ(refused.LastErrorText(), u"Incorrect password or username");
}

TEST(BugTrackers, MantisGetsTheIssueInItsMultiReferenceEncoding)
{
    const TTrackerFiles files;
    const base::ComPtr<ReportSettings> s = ModuleSettingsFor(nullptr);
    TTrackerCase bug = Case();
    bug.Project = u"Lumigate/Setup & Co"; // a subproject
    bug.Area = u"installer";
    bug.Version = u"9.9"; // unknown: left out
    bug.AssignTo = u"ada";
    NewPosts();
    TWinHttp http(TrackerTarget("/mantis"), s.Get(), nullptr);
    ASSERT_TRUE(UploadBugToMantis(http, bug, files.Prepared)) << Text(http.LastErrorText());
    EXPECT_EQ(LastHttpOutcome().IssueId, u"77");
    const std::vector<TReceived> calls = NewPosts();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].Path, "mc_issue_add");
    EXPECT_EQ(calls[0].Fields, Values({{"project", "3"},
                                       {"handler", "12"},
                                       {"priority", "30"},
                                       {"severity", "70"},
                                       {"summary", Text(bug.Title)},
                                       {"category", "Installer"},
                                       {"os", "Windows 10 Pro x64"},
                                       {"description", Text(bug.Description)}}));
    EXPECT_EQ(calls[2].Path, "mc_issue_attachment_add");
    EXPECT_EQ(calls[2].Fields,
              Values({{"issue_id", "77"}, {"name", "screen \xc3\xa4.png"}, {"file_type", "image/png"}}));
    ASSERT_EQ(calls[2].Files.size(), 1u);
    EXPECT_TRUE(calls[2].Files[0].Data == files.Data);

    TWinHttp refused(TrackerTarget("/mantis", u"wrong"), s.Get(), nullptr);
    EXPECT_FALSE(UploadBugToMantis(refused, bug, files.Prepared));
    EXPECT_EQ(refused.LastErrorText(), u"Access denied");
}

TEST(BugTrackers, AServerThatIsNoTrackerEndsTheChannelWithAReason)
{
    const TTrackerFiles files;
    const base::ComPtr<ReportSettings> s = ModuleSettingsFor(nullptr);
    // Answers that are no XML, XML without what was asked for, a redirect to itself (which is
    // not followed), a failure status: the tracker's own reason. An answer too large or broken
    // off: the reason it broke off.
    for (const char* path : {"/garbage", "/xml", "/loop", "/status/500", "/huge", "/cut"}) {
        TWinHttp fogBugz(TrackerTarget(path), s.Get(), nullptr),
            bugzilla(TrackerTarget(path), s.Get(), nullptr), mantis(TrackerTarget(path), s.Get(), nullptr);
        EXPECT_FALSE(UploadBugToFogBugz(fogBugz, Case(), {}, files.Prepared)) << path;
        EXPECT_FALSE(UploadBugToBugZilla(bugzilla, Case(), files.Prepared)) << path;
        EXPECT_FALSE(UploadBugToMantis(mantis, Case(), files.Prepared)) << path;
        const std::string_view p = path;
        for (const TWinHttp* client : {&fogBugz, &bugzilla, &mantis}) {
            EXPECT_FALSE(client->LastErrorText().empty()) << path;
            if (p == "/huge" || p == "/cut") {
                EXPECT_NE(client->LastErrorNo(), TrackerError)
                    << path << ": " << Text(client->LastErrorText());
            } else {
                EXPECT_EQ(client->LastErrorNo(), p == "/status/500" ? 500u : TrackerError)
                    << path << ": " << Text(client->LastErrorText());
            }
        }
    }
    // A server that stops in the middle of its answer and then closes the connection.
    TWinHttp stalled(TrackerTarget("/stallbody"), s.Get(), nullptr);
    EXPECT_FALSE(UploadBugToBugZilla(stalled, Case(), files.Prepared));
    EXPECT_NE(stalled.LastErrorNo(), TrackerError) << Text(stalled.LastErrorText());
    NewPosts();
}

} // namespace
} // namespace crash
