#include "crash/delivery/deliver_bug_report_win.h"

#include "base/seh_frame.h"
#include "base/utf_win.h"
#include "base/win_handle.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/pipeline/exception_report_interfaces.h"
#include "crash/core/report/report_lookup.h"
#include "crash/delivery/attachment_files_win.h"
#include "crash/delivery/delivery_channels_win.h"
#include "crash/delivery/mail_message.h"
#include "crash/delivery/report_temp_folder_win.h"
#include "crash/settings/report_attachments.h"
#include "crash/settings/report_settings.h"
#include "crash/settings/text_variables.h"
#include "crash/ui/report_saving_win.h"

#include <memory>

namespace crash {
namespace {

std::wstring Wide(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::u16string Narrowed(const std::wstring& text)
{
    return std::u16string(text.begin(), text.end());
}

bool Exists(const std::u16string& path)
{
    return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void NotTopMost(HWND window)
{
    if (window)
        ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// The settings' text with the variables, and what the report says of itself: its class,
// message, details and the whole text, as the report has them (and not expanded again: they
// are put in after the other variables).
std::u16string Expanded(ReportSettings* settings, std::string_view name, const std::u16string& report)
{
    if (!settings)
        return {};
    const std::u16string_view r = report;
    const std::u16string own[][3] = {
        {u"%exceptClass%", u"\uE000", ExtractHeaderField(r, std::u16string_view(u"exception class"))},
        {u"%exceptMsg%", u"\uE001", ExtractHeaderField(r, std::u16string_view(u"exception message"))},
        {u"%errorDetails%", u"\uE002", ExtractSection(r, std::u16string_view(u"error details"))},
        {u"%bugReport%", u"\uE003", report}};
    std::u16string text = settings->GetPropStrUnexpanded(name);
    for (const auto& [variable, mark, value] : own)
        ReplaceNoCase(text, variable, mark);
    text = settings->ExpandTextVariables(text);
    for (const auto& [variable, mark, value] : own)
        ReplaceNoCase(text, mark, value);
    return text;
}

// "Vexcatch <first recipient>" for a delivery without a sender of its own.
std::u16string SenderOf(IReportSettings& settings)
{
    const std::u16string from = settings.GetMailFrom();
    if (!from.empty())
        return from;
    // The first recipient the channels see (empty entries do not count), its address alone.
    const std::vector<std::u16string> recipients = MailAddressList(settings.GetMailAddr());
    if (recipients.empty())
        return {};
    std::u16string first = recipients.front();
    if (const size_t open = first.find(u'<'); open != std::u16string::npos)
        first = first.substr(open + 1, first.find(u'>', open) - open - 1);
    return u"Vexcatch <" + first + u">";
}

TPngFormat PngFormatOf(int32_t depth)
{
    switch (depth) {
    case 4:
        return pf16Grays;
    case 51200:
        return pf50kb;
    case 102400:
        return pf100kb;
    case 204800:
        return pf200kb;
    case 307200:
        return pf300kb;
    default:
        return pf256Colors;
    }
}

// Adds the report to `list`: a copy of the report file in the temporary folder (with
// AttachBugRepFile) with the report appended to it, or a file of the report alone. Whether the
// original may be deleted once the report is delivered.
bool AddReportFile(IReportSettings& settings, ReportSettings& saving, const std::u16string& report,
                   IReportAttachments& list, std::u16string& original)
{
    const std::u16string setting = settings.GetBugReportFile();
    original = ProgramPath(setting);
    if (!Exists(original) && setting.find(u'\\') == std::u16string::npos)
        original = UserReportFilePath(saving, setting);
    const std::u16string name = original.substr(original.find_last_of(u'\\') + 1),
                         folder = Narrowed(ReportTempFolder());
    std::u16string temp = folder + name;
    bool copied =
        settings.GetAttachBugReportFile() && ::CopyFileW(Wide(original).c_str(), Wide(temp).c_str(), FALSE);
    if (!copied) // the report alone, not with what an earlier delivery left there
        ::DeleteFileW(Wide(temp).c_str());
    // Appending into a copy is no saving: the report object's saved flag stays as it was.
    auto* object = dynamic_cast<IExceptionReportEx*>(&settings);
    const bool saved = object && object->GetMailWasSaved();
    if (!(copied && saved) && !SaveReportToFile(temp, report, nullptr, saving, true)) {
        ::DeleteFileW(Wide(temp).c_str());
        copied = false; // what goes now is the report alone: the original must stay
        temp = folder + Narrowed(std::to_wstring(::GetTickCount())) + name;
        if (!SaveReportToFile(temp, report, nullptr, saving, true))
            ::DeleteFileW(Wide(temp).c_str());
    }
    if (object)
        object->SetMailWasSaved(saved);
    if (!Exists(temp))
        return false;
    list.Add(temp, settings.GetBugReportSendAs(), settings.GetBugReportZip(), u"BugReport");
    return copied && settings.GetDeleteBugReportFile();
}

struct TBackground
{
    std::u16string Report;
    base::ComPtr<IVxBitmap> ScreenShot;
    base::ComPtr<IReportSettings> Settings;
    bool Hidden;
};

DWORD WINAPI DeliverInBackground(void* p)
{
    const std::unique_ptr<TBackground> b(static_cast<TBackground*>(p));
    base::Guarded([&] {
        DeliverBugReport(b->Report, b->ScreenShot, nullptr, nullptr, true, b->Settings, false, b->Hidden);
    });
    return 0;
}

} // namespace

int DeliverBugReport(const std::u16string& report, const base::ComPtr<IVxBitmap>& screenShot, HWND parent,
                     HANDLE* thread, bool background, const base::ComPtr<IReportSettings>& settingsPtr,
                     bool mayUseThread, bool hidden)
{
    if (thread)
        *thread = nullptr;
    if (report.empty() || !settingsPtr)
        return 0;
    IReportSettings& settings = *settingsPtr;
    // On a thread of its own, with its own copies.
    if (mayUseThread && !background && !LoaderLockBusy(BlockedWaitMs)) {
        NotTopMost(parent);
        auto* b = new TBackground{report, screenShot, settingsPtr, hidden};
        if (base::KernelHandle started{::CreateThread(nullptr, 0, &DeliverInBackground, b, 0, nullptr)}) {
            if (thread)
                *thread = started.Release();
            return 1;
        }
        delete b;
    }

    auto* saving = dynamic_cast<ReportSettings*>(&settings);
    TDelivery d;
    d.ReportText = report;
    d.Settings = &settings;
    d.Parent = parent;
    d.Hidden = hidden;
    d.Subject = Expanded(saving, "MailSubj", report);
    d.Body = Expanded(saving, "MailBody", report);
    d.Recipients = settings.GetMailAddr();
    d.From = SenderOf(settings);

    // The files, when a channel that takes them is on.
    const bool smtpServer = settings.GetMailAsSmtpServer(), smtpClient = settings.GetMailAsSmtpClient(),
               script = settings.GetUploadToCustomScript(), fogBugz = settings.GetUploadToFogBugz(),
               bugZilla = settings.GetUploadToBugZilla(), mantis = settings.GetUploadToMantis(),
               mapi = settings.GetMailViaMapi();
    std::u16string original;
    bool deleteOriginal = false;
    const std::u16string shot = Narrowed(ReportTempFolder()) + u"screenShot.png";
    base::ComPtr<IProgressAlert> progress;
    if (smtpServer || smtpClient || script || fogBugz || bugZilla || mantis || mapi) {
        const base::ComPtr<ReportAttachments> list = ReportAttachments::Create();
        if (settings.GetAttachBugReport() && saving)
            base::Guarded(
                [&] { deleteOriginal = AddReportFile(settings, *saving, report, *list, original); });
        if (screenShot) {
            ::DeleteFileW(Wide(shot).c_str());
            bool saved = false;
            base::Guarded(
                [&] { saved = screenShot->SavePng(Wide(shot), PngFormatOf(settings.GetScreenShotDepth())); });
            if (saved)
                list->Add(shot, settings.GetScreenShotSendAs(), settings.GetScreenShotZip(), u"ScreenShot");
        }
        if (const base::ComPtr<IReportAttachments> more = settings.GetAdditionalAttachments()) {
            more->Lock();
            TAttachment a;
            for (int k = 0; more->GetItem(k, a); ++k)
                list->Add(a.OriginalFile, a.SendAsName, a.ArchiveName, a.FieldName);
            more->Unlock();
        }
        TPreparedAttachments prepared = PrepareAttachmentFiles(settings, *list, parent, background, hidden);
        d.Prepared = std::move(prepared.Delivery);
        progress = std::move(prepared.Progress);
        d.Progress = progress.Get();
    }

    // The fields that go with it.
    if (const base::ComPtr<IReportFields> fields = settings.GetAdditionalFields())
        d.Fields = fields->Clone();
    if (d.Fields)
        for (const auto& [name, value] :
             {std::pair<const char16_t*, const std::u16string&>{u"MailFrom", d.From},
              {u"MailSubject", d.Subject},
              {u"MailBody", d.Body},
              {u"MailAddr", d.Recipients}})
            if (!value.empty())
                d.Fields->SetContent(name, value);

    const TDeliveryChannels& channels = DeliveryChannels();
    const auto use = [&](bool (*channel)(const TDelivery&)) {
        bool done = false;
        if (channel)
            base::Guarded([&] { done = channel(d); });
        return done;
    };
    bool delivered = false;
    const std::u16string server = base::AnsiToUtf16(settings.GetHttpServer());
    if ((fogBugz || bugZilla || mantis || script) && !server.empty()) {
        d.Url = server;
        if (!script && d.Url.back() == u'/')
            d.Url.pop_back();
        const std::u16string_view r = report;
        d.ComputerName = ExtractHeaderField(r, std::u16string_view(u"computer name"));
        d.OperatingSystem = ExtractHeaderField(r, std::u16string_view(u"operating system"));
        d.Version = ExtractHeaderField(r, std::u16string_view(u"version"));
        d.CallstackCrc = ExtractHeaderField(r, std::u16string_view(u"callstack crc"));
        d.TrackerTitle = Expanded(saving, "BugTrTitle", report);
        d.TrackerDescription = Expanded(saving, "BugTrDescr", report);
        delivered = use(fogBugz    ? channels.UploadToFogBugz
                        : bugZilla ? channels.UploadToBugZilla
                        : mantis   ? channels.UploadToMantis
                                   : channels.UploadToScript);
    }
    if (!delivered && !d.Recipients.empty()) {
        if (smtpServer)
            delivered = use(channels.MailToExchangers);
        else if (smtpClient && !settings.GetSmtpServer().empty())
            delivered = use(channels.MailThroughServer);
    }
    if (progress)
        progress->Close();
    if (delivered || !mapi)
        ::DeleteFileW(Wide(shot).c_str());
    // A user who cancelled the mail client has decided: nothing more is tried or told.
    bool cancelled = false;
    if (!delivered && mapi && channels.MailByClient) {
        TMailClientResult result = TMailClientResult::Failed;
        base::Guarded([&] { result = channels.MailByClient(d); });
        delivered = result == TMailClientResult::Delivered;
        cancelled = result == TMailClientResult::Cancelled;
    }
    if (!delivered && !cancelled && settings.GetMailViaMailto() && !hidden) {
        NotTopMost(parent);
        delivered = use(channels.MailByLink);
        deleteOriginal = false; // the report file is not attached to a link: it is kept
    }
    if (!delivered && !cancelled && !hidden) {
        const std::u16string failure = settings.GetSendFailureMsg();
        ::MessageBoxW(parent, Wide(failure).c_str(), nullptr, MB_OK | MB_ICONERROR);
    }
    if (delivered) {
        if (auto* object = dynamic_cast<IExceptionReportEx*>(&settings))
            object->SetMailWasSent(true);
        if (deleteOriginal && !original.empty()) {
            ::SetFileAttributesW(Wide(original).c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(Wide(original).c_str());
        }
    }
    return delivered ? 1 : 0;
}

} // namespace crash
