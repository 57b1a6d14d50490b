#pragma once
// ReportAttachments: the files a bug report travels with, four texts each (the original
// file, the name it is sent as, the archive it goes into, the form field it is uploaded
// under), with a lock of its own. A list bound to a settings object writes every change
// back through OnChange (called with the lock held); ClearParent unbinds it.

#include "base/com_object.h"
#include "base/com_ptr.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace crash {

struct TAttachment
{
    std::u16string OriginalFile, SendAsName, ArchiveName, FieldName;
};

// {8CB33444-56DB-4968-BBBE-541E16C9FF35}
inline constexpr GUID IID_IReportAttachments = {
    0x8CB33444, 0x56DB, 0x4968, {0xBB, 0xBE, 0x54, 0x1E, 0x16, 0xC9, 0xFF, 0x35}};

class IReportAttachments : public IUnknown
{
public:
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    virtual int GetItemCount() const = 0;
    // False for an index out of range.
    virtual bool GetItem(int index, TAttachment& item) const = 0;
    // Ignores an empty original file. An empty send-as name becomes the original's file
    // name without its folder, an empty field name the send-as name without its last
    // extension; an empty archive name attaches the file by itself.
    virtual void Add(const std::u16string& originalFile, const std::u16string& sendAsName = {},
                     const std::u16string& archiveName = {}, const std::u16string& fieldName = {}) = 0;
    // Removes the first entry of that original file (letter case ignored).
    virtual bool Delete(const std::u16string& originalFile) = 0;
    virtual void Clear() = 0;
    // An unbound list with the same entries.
    virtual base::ComPtr<IReportAttachments> Clone() const = 0;
};
inline const GUID& InterfaceId(const IReportAttachments*)
{
    return IID_IReportAttachments;
}

class ReportAttachments final : public base::ComObject<IReportAttachments>
{
public:
    // A new, unbound list.
    static base::ComPtr<ReportAttachments> Create();

    void Lock() override { FSection.lock(); }
    void Unlock() override { FSection.unlock(); }
    int GetItemCount() const override;
    bool GetItem(int index, TAttachment& item) const override;
    void Add(const std::u16string& originalFile, const std::u16string& sendAsName = {},
             const std::u16string& archiveName = {}, const std::u16string& fieldName = {}) override;
    bool Delete(const std::u16string& originalFile) override;
    void Clear() override;
    base::ComPtr<IReportAttachments> Clone() const override;

    // Unbinds the list from its owner: changes are no longer signalled.
    void ClearParent();
    // Called after every change, with the lock held; the owner binds it.
    std::function<void()> OnChange;

private:
    void Changed();

    mutable std::recursive_mutex FSection;
    std::vector<TAttachment> FItems;
};

} // namespace crash
