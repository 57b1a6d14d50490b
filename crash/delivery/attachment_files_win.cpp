#include "crash/delivery/attachment_files_win.h"

#include "crash/delivery/report_temp_folder_win.h"
#include "crash/delivery/zip_archive_win.h"
#include "crash/ui/report_saving_win.h"

#include <algorithm>
#include <cwctype>

namespace crash {
namespace {

std::wstring Wide(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

// Relative paths are taken from the executable's folder, as the settings' paths are.
std::wstring Absolute(const std::u16string& path)
{
    return Wide(ProgramPath(path));
}

bool Exists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool SameName(const std::u16string& a, const std::u16string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
               return std::towlower(x) == std::towlower(y);
           });
}

void AddArea(IProgressAlert& progress, int64_t weight, const std::u16string& text)
{
    progress.AddArea(weight, Wide(text));
}

} // namespace

TPreparedAttachments PrepareAttachmentFiles(IReportSettings& settings, IReportAttachments& attachments,
                                            HWND parent, bool background, bool hidden)
{
    TPreparedAttachments prepared;
    prepared.Progress =
        CreateProgressAlert(Wide(settings.GetSendBoxTitle()), settings.Module(), L"vxisend32");
    IProgressAlert& progress = *prepared.Progress;
    AddArea(progress, 100, settings.GetPrepareAttachMsg());
    const bool smtp = settings.GetMailAsSmtpServer() || settings.GetMailAsSmtpClient();
    if (smtp || settings.GetUploadToCustomScript() || settings.GetUploadToFogBugz() ||
        settings.GetUploadToBugZilla() || settings.GetUploadToMantis()) {
        if (settings.GetMailAsSmtpServer())
            AddArea(progress, 100, settings.GetMxLookupMsg());
        AddArea(progress, 100, settings.GetConnectMsg());
        if (smtp)
            AddArea(progress, 100, settings.GetSendMailMsg());
        if (attachments.GetItemCount() > 0)
            AddArea(progress, 100, settings.GetSendAttachMsg());
        AddArea(progress, 100, settings.GetSendFinalizeMsg());
    }
    if (!hidden || settings.GetAutoSendPrgrBox())
        progress.Show(background ? nullptr : parent, !hidden);

    attachments.Lock();
    std::vector<TAttachment> items(static_cast<size_t>(std::max(0, attachments.GetItemCount())));
    for (size_t k = 0; k < items.size(); ++k)
        attachments.GetItem(static_cast<int>(k), items[k]);
    attachments.Unlock();
    std::vector<std::u16string> archivesDone;
    TPreparedDelivery& d = prepared.Delivery;
    for (size_t k = 0; k < items.size(); ++k) {
        const TAttachment& item = items[k];
        const std::wstring file = Absolute(item.OriginalFile);
        if (!Exists(file))
            continue;
        if (item.ArchiveName.empty()) {
            d.Files.push_back(std::u16string(file.begin(), file.end()));
            d.SendAs.push_back(item.SendAsName);
            d.Fields.push_back(item.FieldName);
            continue;
        }
        if (std::any_of(archivesDone.begin(), archivesDone.end(),
                        [&](const std::u16string& done) { return SameName(done, item.ArchiveName); }))
            continue;
        archivesDone.push_back(item.ArchiveName);
        std::vector<std::wstring> files, names;
        for (size_t j = k; j < items.size(); ++j)
            if (SameName(items[j].ArchiveName, item.ArchiveName))
                if (const std::wstring member = Absolute(items[j].OriginalFile); Exists(member)) {
                    files.push_back(member);
                    names.push_back(Wide(items[j].SendAsName));
                }
        const std::wstring archive = ReportTempFolder() + Wide(item.ArchiveName);
        if (WriteZipArchive(archive, files, names)) {
            d.Files.push_back(std::u16string(archive.begin(), archive.end()));
            d.SendAs.push_back(item.ArchiveName);
            d.Fields.push_back(item.ArchiveName);
        }
    }
    return prepared;
}

bool OpenAttachmentFiles(IProgressAlert* progress, IReportSettings& settings,
                         const std::vector<std::u16string>& files, bool mxLookup, bool mailing,
                         TOpenedAttachments& opened)
{
    if (progress) {
        progress->ClearAreas();
        AddArea(*progress, 500, settings.GetPrepareAttachMsg());
        if (mxLookup)
            AddArea(*progress, 500, settings.GetMxLookupMsg());
        AddArea(*progress, mailing ? 500 : 5000, settings.GetConnectMsg());
        if (mailing)
            AddArea(*progress, 100, settings.GetSendMailMsg());
    }
    opened = {};
    for (const std::u16string& name : files) {
        base::FileHandle file(::CreateFileW(Wide(name).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        LARGE_INTEGER size{};
        if (file && ::GetFileSizeEx(file.Get(), &size)) {
            ++opened.Opened;
            if (progress)
                AddArea(*progress, size.QuadPart / 16, settings.GetSendAttachMsg());
        } else {
            file.Reset();
            size.QuadPart = 0;
        }
        opened.Handles.push_back(std::move(file));
        opened.Sizes.push_back(static_cast<uint64_t>(size.QuadPart));
    }
    if (progress) {
        AddArea(*progress, 1000, settings.GetSendFinalizeMsg());
        progress->AreaDone();
    }
    return opened.Opened > 0 || files.empty();
}

} // namespace crash
