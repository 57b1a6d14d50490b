#include "crash/settings/report_attachments.h"

#include "crash/settings/report_fields.h"

namespace crash {
namespace {

std::u16string WithoutFolder(const std::u16string& path)
{
    const size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::u16string WithoutLastExtension(const std::u16string& name)
{
    const size_t dot = name.find_last_of(u'.');
    return dot == std::u16string::npos ? name : name.substr(0, dot);
}

} // namespace

base::ComPtr<ReportAttachments> ReportAttachments::Create()
{
    return base::MakeCom<ReportAttachments>();
}

int ReportAttachments::GetItemCount() const
{
    std::lock_guard lock(FSection);
    return static_cast<int>(FItems.size());
}

bool ReportAttachments::GetItem(int index, TAttachment& item) const
{
    std::lock_guard lock(FSection);
    if (index < 0 || index >= static_cast<int>(FItems.size()))
        return false;
    item = FItems[static_cast<size_t>(index)];
    return true;
}

void ReportAttachments::Add(const std::u16string& originalFile, const std::u16string& sendAsName,
                            const std::u16string& archiveName, const std::u16string& fieldName)
{
    if (originalFile.empty())
        return;
    TAttachment a{originalFile, sendAsName, archiveName, fieldName};
    if (a.SendAsName.empty())
        a.SendAsName = WithoutFolder(originalFile);
    if (a.FieldName.empty())
        a.FieldName = WithoutLastExtension(a.SendAsName);
    std::lock_guard lock(FSection);
    if (FItems.empty())
        FItems.reserve(16);
    FItems.push_back(std::move(a));
    Changed();
}

bool ReportAttachments::Delete(const std::u16string& originalFile)
{
    std::lock_guard lock(FSection);
    for (auto it = FItems.begin(); it != FItems.end(); ++it)
        if (SameName(it->OriginalFile, originalFile)) {
            FItems.erase(it);
            Changed();
            return true;
        }
    return false;
}

void ReportAttachments::Clear()
{
    std::lock_guard lock(FSection);
    if (FItems.empty())
        return;
    FItems.clear();
    Changed();
}

base::ComPtr<IReportAttachments> ReportAttachments::Clone() const
{
    auto copy = Create();
    std::lock_guard lock(FSection);
    copy->FItems = FItems;
    return copy;
}

void ReportAttachments::ClearParent()
{
    std::lock_guard lock(FSection);
    OnChange = nullptr;
}

void ReportAttachments::Changed()
{
    if (OnChange)
        OnChange();
}

} // namespace crash
