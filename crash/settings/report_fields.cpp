#include "crash/settings/report_fields.h"

#include <algorithm>

namespace crash {
namespace {

char16_t Fold(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<char16_t>(c - 0x20);
    return c;
}

} // namespace

bool SameName(std::u16string_view a, std::u16string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

std::u16string TrimControls(const std::u16string& text)
{
    size_t first = 0, last = text.size();
    while (first < last && text[first] <= 0x20)
        ++first;
    while (last > first && text[last - 1] <= 0x20)
        --last;
    return text.substr(first, last - first);
}

int ReportFields::GetItemCount() const
{
    std::lock_guard<std::recursive_mutex> lock(FSection);
    return static_cast<int>(FItems.size());
}

std::u16string ReportFields::GetItem(int index) const
{
    std::lock_guard<std::recursive_mutex> lock(FSection);
    return index >= 0 && index < static_cast<int>(FItems.size()) ? FItems[static_cast<size_t>(index)].Name
                                                                 : std::u16string();
}

void ReportFields::SetItem(int index, const std::u16string& value)
{
    std::lock_guard<std::recursive_mutex> lock(FSection);
    if (index < 0 || index >= static_cast<int>(FItems.size()) ||
        FItems[static_cast<size_t>(index)].Name == value)
        return;
    FItems[static_cast<size_t>(index)].Name = value;
    Changed();
}

int ReportFields::FindLocked(const std::u16string& item) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (SameName(FItems[i].Name, item))
            return static_cast<int>(i);
    return -1;
}

int ReportFields::FindItem(const std::u16string& item) const
{
    std::lock_guard<std::recursive_mutex> lock(FSection);
    return FindLocked(item);
}

std::u16string ReportFields::GetContent(const std::u16string& item) const
{
    std::lock_guard<std::recursive_mutex> lock(FSection);
    const int i = FindLocked(item);
    return i < 0 ? std::u16string() : FItems[static_cast<size_t>(i)].Content;
}

void ReportFields::SetContent(const std::u16string& item, const std::u16string& value)
{
    std::lock_guard<std::recursive_mutex> lock(FSection);
    if (!FAcceptData)
        return;
    const std::u16string content = TrimControls(value);
    const int i = FindLocked(item);
    if (content.empty()) {
        if (i >= 0)
            DeleteLocked(i);
        return;
    }
    if (i >= 0) {
        Pair& p = FItems[static_cast<size_t>(i)];
        if (p.Name == item && p.Content == content)
            return;
        p.Name = item;
        p.Content = content;
        Changed();
        return;
    }
    InsertLocked(FAddIndex >= 1 ? FAddIndex : static_cast<int>(FItems.size()), item, content);
}

void ReportFields::Insert(int index, const std::u16string& item, const std::u16string& content)
{
    std::lock_guard<std::recursive_mutex> lock(FSection);
    const std::u16string trimmed = TrimControls(content);
    if (!FAcceptData || trimmed.empty())
        return;
    InsertLocked(index, item, trimmed);
}

void ReportFields::InsertLocked(int index, const std::u16string& item, const std::u16string& content)
{
    index = std::clamp(index, 0, static_cast<int>(FItems.size()));
    const int existing = FindLocked(item);
    if (existing >= 0) {
        if (existing == index && FItems[static_cast<size_t>(existing)].Content == content)
            return;
        // Deleted as Delete does, the add index included.
        FItems.erase(FItems.begin() + existing);
        if (existing < index)
            --index;
        if (FAddIndex >= 1 && existing < FAddIndex)
            --FAddIndex;
    }
    FItems.insert(FItems.begin() + index, Pair{item, content});
    if (FAddIndex >= 1 && FAddIndex >= index)
        ++FAddIndex;
    Changed();
}

void ReportFields::Delete(int index)
{
    std::lock_guard<std::recursive_mutex> lock(FSection);
    DeleteLocked(index);
}

void ReportFields::Delete(const std::u16string& item)
{
    std::lock_guard<std::recursive_mutex> lock(FSection);
    DeleteLocked(FindLocked(item));
}

void ReportFields::DeleteLocked(int index)
{
    if (index < 0 || index >= static_cast<int>(FItems.size()))
        return;
    FItems.erase(FItems.begin() + index);
    if (FAddIndex >= 1 && index < FAddIndex)
        --FAddIndex;
    Changed();
}

base::ComPtr<IReportFields> ReportFields::Clone() const
{
    std::lock_guard<std::recursive_mutex> lock(FSection);
    auto copy = base::MakeCom<ReportFields>();
    copy->FItems = FItems;
    copy->FAcceptData = true;
    return copy;
}

void ReportFields::SetAddIndex(int index)
{
    std::lock_guard<std::recursive_mutex> lock(FSection);
    FAddIndex = index;
}

void ReportFields::AcceptData()
{
    std::lock_guard<std::recursive_mutex> lock(FSection);
    FAcceptData = true;
}

void ReportFields::ClearParent()
{
    std::lock_guard<std::recursive_mutex> lock(FSection);
    OnChange = nullptr;
}

void ReportFields::Changed()
{
    if (OnChange)
        OnChange();
}

} // namespace crash
