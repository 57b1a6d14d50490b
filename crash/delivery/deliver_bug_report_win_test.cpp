// The delivery driver with recording channels: the channels in their order, the first that
// delivers ends it; the files that go with a report (the report file's copy with the report in
// it, archives that several attachments share, missing files left out); the texts and the
// sender; a thread of its own; the user told of a failure, but never by a hidden delivery.

#include "crash/delivery/attachment_files_win.h"
#include "crash/delivery/deliver_bug_report_win.h"
#include "crash/delivery/delivery_channels_win.h"
#include "crash/delivery/report_temp_folder_win.h"

#include "base/win_handle.h"
#include "crash/core/intercept/testing/child_process.h"
#include "crash/delivery/testing/peer_records_win.h"
#include "crash/imaging/vx_bitmap.h"
#include "crash/settings/module_settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace crash {
namespace {

std::vector<std::string> Calls;
std::map<std::string, bool> Results; // what each channel answers (false when not named)
TDelivery Last;                      // what the last channel was given
DWORD LastThread = 0;

template <const char* Name> bool Record(const TDelivery& d)
{
    Calls.push_back(Name);
    Last = d;
    LastThread = ::GetCurrentThreadId();
    return Results[Name];
}

TMailClientResult ClientResult = TMailClientResult::Failed;

constexpr char Script[] = "script", FogBugz[] = "fogbugz", BugZilla[] = "bugzilla", Mantis[] = "mantis",
               Exchangers[] = "exchangers", Server[] = "server", Client[] = "client", Link[] = "link";

TMailClientResult RecordClient(const TDelivery& d)
{
    Calls.push_back(Client);
    Last = d;
    LastThread = ::GetCurrentThreadId();
    return ClientResult;
}

// Closes every message box of this process that shows up, and keeps its text.
class TMessageBoxes
{
public:
    TMessageBoxes() : FThread(::CreateThread(nullptr, 0, &Watch, this, 0, nullptr)) {}
    ~TMessageBoxes()
    {
        FStop = true;
        ::WaitForSingleObject(FThread.Get(), INFINITE);
    }
    std::vector<std::string> Seen() const
    {
        ::Sleep(100);
        const std::lock_guard lock(FLock);
        return FSeen;
    }

private:
    static DWORD WINAPI Watch(void* p)
    {
        auto* self = static_cast<TMessageBoxes*>(p);
        while (!self->FStop) {
            ::Sleep(10);
            if (const HWND box = ::FindWindowW(L"#32770", nullptr); box && ::IsWindowVisible(box)) {
                wchar_t text[256] = L"";
                ::GetDlgItemTextW(box, 0xFFFF, text, 256);
                if (!text[0])
                    continue; // not filled in yet
                {
                    const std::lock_guard lock(self->FLock);
                    self->FSeen.push_back(std::string(text, text + std::wcslen(text)));
                }
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                ::Sleep(200);
            }
        }
        return 0;
    }
    std::atomic<bool> FStop{false};
    mutable std::mutex FLock;
    std::vector<std::string> FSeen;
    base::KernelHandle FThread;
};

// The program's settings, with every channel off and recorders installed; kept while the
// test runs (changes live as long as an object holds the settings).
base::ComPtr<ReportSettings> FreshSettings()
{
    Calls.clear();
    Results.clear();
    ClientResult = TMailClientResult::Failed;
    SetDeliveryChannels({&Record<Script>, &Record<FogBugz>, &Record<BugZilla>, &Record<Mantis>,
                         &Record<Exchangers>, &Record<Server>, &RecordClient, &Record<Link>});
    base::ComPtr<ReportSettings> s = ModuleSettingsFor(nullptr);
    for (const char* name :
         {"MailAsSmtpServer", "MailAsSmtpClient", "UploadViaHttp", "FogBugz", "BugZilla", "Mantis",
          "MailViaMapi", "MailViaMailto", "AttachBugRep", "AttachBugRepFile", "DelBugRepFile"})
        s->SetPropBool(name, false);
    for (const char* name : {"HttpServer", "SmtpServer", "MailAddr", "MailFrom"})
        s->SetPropStr(name, u"");
    s->GetAdditionalAttachments()->Clear();
    return s;
}

const std::u16string Report = u"date/time        : 1\r\ncomputer name    : VM\r\nversion          : 2.0\r\n"
                              u"callstack crc    : $11111111, $22222222, $33333333\r\n"
                              u"exception class  : EDivByZero\r\nexception message: Division by zero.\r\n\r\n"
                              u"error details:\r\nIt broke.";

int Deliver(const base::ComPtr<ReportSettings>& settings, bool hidden = true)
{
    return DeliverBugReport(Report, nullptr, nullptr, nullptr, false, base::ComPtr<IReportSettings>(settings),
                            false, hidden);
}

TEST(DeliverBugReport, ThisProgramsSettingsDeliverNothingAndSaySo)
{
    const base::ComPtr<ReportSettings> settings = ModuleSettingsFor(nullptr);
    Calls.clear();
    const TMessageBoxes boxes;
    EXPECT_EQ(DeliverBugReport(Report, nullptr, nullptr, nullptr, false,
                               base::ComPtr<IReportSettings>(settings), false, false),
              0);
    EXPECT_TRUE(Calls.empty());
    EXPECT_EQ(boxes.Seen(), std::vector<std::string>{"Sorry, sending the bug report didn't work."});
}

TEST(DeliverBugReport, TheChannelsInTheirOrderUntilOneDelivers)
{
    const base::ComPtr<ReportSettings> s = FreshSettings();
    s->SetPropBool("UploadViaHttp", true);
    s->SetPropStr("HttpServer", u"http://127.0.0.1/upload/");
    s->SetPropBool("MailAsSmtpClient", true);
    s->SetPropStr("SmtpServer", u"127.0.0.1");
    s->SetPropStr("MailAddr", u" ; Bugs <bugs@maker.example>; boss@maker.example"); // an empty one first
    s->SetPropBool("MailViaMapi", true);
    s->SetPropBool("MailViaMailto", true);
    ClientResult = TMailClientResult::Delivered;
    const TMessageBoxes boxes;
    EXPECT_EQ(Deliver(s), 1);
    EXPECT_EQ(Calls, (std::vector<std::string>{Script, Server, Client}));
    EXPECT_EQ(Last.Url, u"http://127.0.0.1/upload/"); // the script's address as it is
    EXPECT_EQ(Last.From, u"Vexcatch <bugs@maker.example>");

    // A tracker instead of the script (the first that is on), its address without the "/";
    // the mail exchangers before the server; nothing delivers, and a hidden delivery tells
    // nobody.
    Calls.clear();
    ClientResult = TMailClientResult::Failed;
    s->SetPropBool("UploadViaHttp", false);
    s->SetPropBool("BugZilla", true);
    s->SetPropBool("Mantis", true);
    s->SetPropBool("MailAsSmtpServer", true);
    EXPECT_EQ(Deliver(s), 0);
    EXPECT_EQ(Calls, (std::vector<std::string>{BugZilla, Exchangers, Client}));
    EXPECT_EQ(Last.Url, u"http://127.0.0.1/upload");
    EXPECT_TRUE(boxes.Seen().empty());
    // Shown to the user: the mailto link is tried last, and the failure is told.
    Calls.clear();
    EXPECT_EQ(Deliver(s, false), 0);
    EXPECT_EQ(Calls, (std::vector<std::string>{BugZilla, Exchangers, Client, Link}));
    EXPECT_EQ(boxes.Seen().size(), 1u);
    // A user who cancels the mail client ends the delivery: no link, no message, not sent.
    Calls.clear();
    ClientResult = TMailClientResult::Cancelled;
    EXPECT_EQ(Deliver(s, false), 0);
    EXPECT_EQ(Calls, (std::vector<std::string>{BugZilla, Exchangers, Client}));
    EXPECT_EQ(boxes.Seen().size(), 1u); // still only the one before
}

TEST(DeliverBugReport, TheTextsTheSenderAndTheFields)
{
    const base::ComPtr<ReportSettings> s = FreshSettings();
    s->SetPropBool("MailAsSmtpClient", true);
    s->SetPropStr("SmtpServer", u"127.0.0.1");
    s->SetPropStr("MailAddr", u"bugs@maker.example");
    s->SetPropStr("MailFrom", u"Anna <anna@user.example>");
    s->SetPropStr("MailSubj", u"%exceptClass%: %exceptMsg%");
    s->SetPropStr("MailBody", u"%errorDetails%|%bugReport%");
    Results[Server] = true;
    EXPECT_EQ(Deliver(s), 1);
    EXPECT_EQ(Last.Subject, u"EDivByZero: Division by zero.");
    EXPECT_EQ(Last.Body, u"\r\nIt broke.|" + Report);
    EXPECT_EQ(Last.From, u"Anna <anna@user.example>");
    ASSERT_TRUE(Last.Fields);
    EXPECT_EQ(Last.Fields->GetContent(u"MailFrom"), u"Anna <anna@user.example>");
    EXPECT_EQ(Last.Fields->GetContent(u"MailAddr"), u"bugs@maker.example");
    EXPECT_EQ(Last.ReportText, Report);
    // What the report says goes in as it is, variables and all.
    const std::u16string odd = Report + u"\r\n%os% 100%";
    EXPECT_EQ(DeliverBugReport(odd, nullptr, nullptr, nullptr, false, base::ComPtr<IReportSettings>(s), false,
                               true),
              1);
    EXPECT_EQ(Last.Body, u"\r\nIt broke.\r\n%os% 100%|" + odd); // the details end with the report
}

std::wstring Temp(const wchar_t* name)
{
    return ReportTempFolder() + name;
}

// Whole files, under names outside ASCII too.
std::string Read(const std::u16string& path)
{
    return testing::ReadWholeFile(std::wstring(path.begin(), path.end()));
}

TEST(DeliverBugReport, TheFilesThatGoWithTheReport)
{
    ClearReportTempFolder();
    const base::ComPtr<ReportSettings> s = FreshSettings();
    s->SetPropBool("UploadViaHttp", true);
    s->SetPropStr("HttpServer", u"http://127.0.0.1/upload");
    s->SetPropBool("AttachBugRep", true);
    s->SetPropBool("AttachBugRepFile", true);
    s->SetPropBool("DelBugRepFile", true);
    s->SetPropStr("BugRepFile", u"delivered reports.txt");
    s->SetPropStr("BugRepSendAs", u"report.txt");
    s->SetPropStr("BugRepZip", u"");
    const std::wstring original = testing::Beside(L"delivered reports.txt");
    testing::WriteWholeFile(original, "date/time        : earlier\r\nexception class  : EOther\r\n\r\n");
    const std::wstring notes = testing::Beside(L"notes.log"),
                       settingsFile = testing::Beside(L"Einstellungen \u00c4 \u20ac.ini");
    testing::WriteWholeFile(notes, "notes");
    testing::WriteWholeFile(settingsFile, "[app]");
    const std::u16string n(notes.begin(), notes.end()), i(settingsFile.begin(), settingsFile.end());
    s->GetAdditionalAttachments()->Add(n, u"", u"extras.zip", u"");
    s->GetAdditionalAttachments()->Add(u"Z:\\nowhere\\missing.txt");
    s->GetAdditionalAttachments()->Add(i, u"", u"EXTRAS.zip", u"");
    s->GetAdditionalAttachments()->Add(u"notes.log"); // beside the program
    Results[Script] = true;
    EXPECT_EQ(Deliver(s), 1);
    const TPreparedDelivery& p = Last.Prepared;
    EXPECT_EQ(p.SendAs, (std::vector<std::u16string>{u"report.txt", u"extras.zip", u"notes.log"}));
    EXPECT_EQ(p.Fields, (std::vector<std::u16string>{u"BugReport", u"extras.zip", u"notes"}));
    ASSERT_EQ(p.Files.size(), 3u);
    // The copy of the report file with the report after the earlier one.
    const std::string copy = Read(p.Files[0]);
    EXPECT_EQ(copy.rfind("date/time        : earlier", 0), 0u) << copy;
    EXPECT_NE(copy.find("date/time        : 1"), std::string::npos) << copy;
    // One archive for the two that share its name (letter case ignored).
    const std::string archive = Read(p.Files[1]);
    EXPECT_EQ(archive.rfind("PK\x03\x04", 0), 0u);
    const size_t directory = archive.find("PK\x01\x02");
    ASSERT_NE(directory, std::string::npos);
    EXPECT_NE(archive.find("notes.log", directory), std::string::npos);
    EXPECT_NE(archive.find("Einstellungen \xc3\x84 \xe2\x82\xac.ini", directory), std::string::npos);
    EXPECT_EQ(archive.find("PK\x01\x02", archive.find("PK\x01\x02", directory + 4) + 4), std::string::npos);
    // Kept with its files for the independent readers (testing/zip_readers.sh).
    testing::KeepArchiveForReaders(
        testing::Beside(L"delivery-archive"), reinterpret_cast<const wchar_t*>(p.Files[1].c_str()),
        {{L"notes.log", notes}, {L"Einstellungen \u00c4 \u20ac.ini", settingsFile}});
    // Delivered: the original report file is gone.
    EXPECT_EQ(::GetFileAttributesW(original.c_str()), INVALID_FILE_ATTRIBUTES);
    // Without the report file, the report goes alone, not with what the last delivery left.
    s->SetPropBool("AttachBugRepFile", false);
    EXPECT_EQ(Deliver(s), 1);
    ASSERT_FALSE(Last.Prepared.Files.empty());
    const std::string alone = Read(Last.Prepared.Files[0]);
    EXPECT_EQ(alone.rfind("date/time        : 1", 0), 0u) << alone;
    EXPECT_EQ(alone.find("date/time", 5), std::string::npos) << alone;
    ::DeleteFileW(notes.c_str());
    ::DeleteFileW(settingsFile.c_str());
    s->GetAdditionalAttachments()->Clear();
}

// The screenshot goes as a PNG of the settings' format, and is deleted once delivered.
TEST(DeliverBugReport, TheScreenshotAsAPng)
{
    const base::ComPtr<ReportSettings> s = FreshSettings();
    s->SetPropBool("UploadViaHttp", true);
    s->SetPropStr("HttpServer", u"http://127.0.0.1/upload");
    s->SetPropInt("ScrShotDepth", 4);
    s->SetPropStr("ScrShotSendAs", u"screen.png");
    s->SetPropStr("ScrShotZip", u"");
    static std::string seen;
    SetDeliveryChannels({[](const TDelivery& d) {
        seen = d.Prepared.Files.size() == 1 ? Read(d.Prepared.Files[0]) : std::string();
        Last = d;
        return true;
    }});
    EXPECT_EQ(DeliverBugReport(Report, NewVxBitmap(8, 8), nullptr, nullptr, false,
                               base::ComPtr<IReportSettings>(s), false, true),
              1);
    EXPECT_EQ(seen.rfind("\x89PNG", 0), 0u);
    EXPECT_EQ(seen.size() > 24 ? seen[24] : 0, 4); // 16 grey levels: 4 bits a pixel
    EXPECT_EQ(Last.Prepared.SendAs, std::vector<std::u16string>{u"screen.png"});
    EXPECT_EQ(Last.Prepared.Fields, std::vector<std::u16string>{u"ScreenShot"});
    EXPECT_EQ(::GetFileAttributesW(Temp(L"screenShot.png").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(DeliverBugReport, OnAThreadOfItsOwn)
{
    const base::ComPtr<ReportSettings> s = FreshSettings();
    s->SetPropBool("MailViaMapi", true);
    ClientResult = TMailClientResult::Delivered;
    HANDLE thread = nullptr;
    EXPECT_EQ(DeliverBugReport(Report, nullptr, nullptr, &thread, false, base::ComPtr<IReportSettings>(s),
                               true, true),
              1);
    ASSERT_TRUE(thread);
    const base::KernelHandle owned(thread);
    EXPECT_EQ(::WaitForSingleObject(owned.Get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(Calls, std::vector<std::string>{Client});
    EXPECT_NE(LastThread, ::GetCurrentThreadId());
}

// Files opened for a channel: one that went missing since is passed over.
TEST(OpenAttachmentFiles, AFileGoneSinceIsPassedOver)
{
    const base::ComPtr<ReportSettings> s = FreshSettings();
    testing::WriteWholeFile(Temp(L"one.txt"), "12345");
    testing::WriteWholeFile(Temp(L"two.txt"), "6789");
    ::DeleteFileW(Temp(L"two.txt").c_str());
    const std::wstring one = Temp(L"one.txt"), two = Temp(L"two.txt");
    TOpenedAttachments opened;
    EXPECT_TRUE(OpenAttachmentFiles(
        nullptr, *s, {std::u16string(one.begin(), one.end()), std::u16string(two.begin(), two.end())}, false,
        true, opened));
    EXPECT_EQ(opened.Opened, 1);
    EXPECT_EQ(opened.Sizes, (std::vector<uint64_t>{5, 0}));
    EXPECT_TRUE(opened.Handles[0]);
    EXPECT_FALSE(opened.Handles[1]);
    EXPECT_FALSE(
        OpenAttachmentFiles(nullptr, *s, {std::u16string(two.begin(), two.end())}, false, true, opened));
}

} // namespace
} // namespace crash
