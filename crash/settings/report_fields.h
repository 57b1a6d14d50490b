#pragma once
// ReportFields: an ordered list of (name, content) pairs of UTF-16 text with a lock of its
// own. Names match without regard to letter case. It holds a report's header and sections,
// the additional form fields of the settings and the assistants' form cache.
//
// Writes are ignored until AcceptData has been called. Contents are trimmed of the
// characters U+0000 to U+0020 at both ends, and an empty content deletes its item. Every
// change is signalled through OnChange (called with the lock held).

#include "base/com_object.h"
#include "base/com_ptr.h"

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace crash {

// {624AB1DA-5760-42E8-BD01-91C43F48D068}
inline constexpr GUID IID_IReportFields = {
    0x624AB1DA, 0x5760, 0x42E8, {0xBD, 0x01, 0x91, 0xC4, 0x3F, 0x48, 0xD0, 0x68}};

class IReportFields : public IUnknown
{
public:
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    virtual int GetItemCount() const = 0;
    // The name at index ("" out of range).
    virtual std::u16string GetItem(int index) const = 0;
    // Renames the item at index when the index is valid and the name differs.
    virtual void SetItem(int index, const std::u16string& value) = 0;
    virtual int FindItem(const std::u16string& item) const = 0;
    virtual std::u16string GetContent(const std::u16string& item) const = 0;
    virtual void SetContent(const std::u16string& item, const std::u16string& value) = 0;
    virtual void Add(const std::u16string& item, const std::u16string& content) = 0;
    virtual void Insert(int index, const std::u16string& item, const std::u16string& content) = 0;
    virtual void Delete(int index) = 0;
    virtual void Delete(const std::u16string& item) = 0;
    // A new list, accepting data, with the same pairs in order.
    virtual base::ComPtr<IReportFields> Clone() const = 0;
};
inline const GUID& InterfaceId(const IReportFields*)
{
    return IID_IReportFields;
}

// {28F98D5C-07C5-4B78-BAF1-A92839B78A49}
inline constexpr GUID IID_IReportFieldsEx = {
    0x28F98D5C, 0x07C5, 0x4B78, {0xBA, 0xF1, 0xA9, 0x28, 0x39, 0xB7, 0x8A, 0x49}};

// What only the list's owner uses.
class IReportFieldsEx : public IUnknown
{
public:
    // Detaches the owner: changes are no longer signalled.
    virtual void ClearParent() = 0;
    // Position at which SetContent inserts new names; below 1 they go to the end.
    virtual void SetAddIndex(int index) = 0;
    virtual void AcceptData() = 0;
};
inline const GUID& InterfaceId(const IReportFieldsEx*)
{
    return IID_IReportFieldsEx;
}

class ReportFields final : public base::ComObject<IReportFields, IReportFieldsEx>
{
public:
    void Lock() override { FSection.lock(); }
    void Unlock() override { FSection.unlock(); }
    int GetItemCount() const override;
    std::u16string GetItem(int index) const override;
    void SetItem(int index, const std::u16string& value) override;
    int FindItem(const std::u16string& item) const override;
    std::u16string GetContent(const std::u16string& item) const override;
    void SetContent(const std::u16string& item, const std::u16string& value) override;
    void Add(const std::u16string& item, const std::u16string& content) override
    {
        SetContent(item, content);
    }
    void Insert(int index, const std::u16string& item, const std::u16string& content) override;
    void Delete(int index) override;
    void Delete(const std::u16string& item) override;
    base::ComPtr<IReportFields> Clone() const override;

    void ClearParent() override;
    void SetAddIndex(int index) override;
    void AcceptData() override;
    // Called after every change, with the lock held; the owner binds it.
    std::function<void()> OnChange;

private:
    struct Pair
    {
        std::u16string Name, Content;
    };
    int FindLocked(const std::u16string& item) const;
    void InsertLocked(int index, const std::u16string& item, const std::u16string& content);
    void DeleteLocked(int index);
    void Changed();

    mutable std::recursive_mutex FSection;
    std::vector<Pair> FItems;
    int FAddIndex = 0;
    bool FAcceptData = false;
};

// Case-insensitive equality of names (ASCII and Latin-1 letters).
bool SameName(std::u16string_view a, std::u16string_view b);
// The text without the characters U+0000 to U+0020 at both ends.
std::u16string TrimControls(const std::u16string& text);

} // namespace crash
