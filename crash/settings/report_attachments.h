#pragma once
// ReportAttachments: the files a bug report travels with, four texts each (the original
// file, the name it is sent as, the archive it goes into, the form field it is uploaded
// under), with a lock of its own. A list bound to a settings object writes every change
// back through OnChange (called with the lock held); ClearParent unbinds it.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace crash {

struct TAttachment
{
    std::u16string OriginalFile, SendAsName, ArchiveName, FieldName;
};

class ReportAttachments
{
public:
    // A new, unbound list.
    static std::shared_ptr<ReportAttachments> Create();

    void Lock() { FSection.lock(); }
    void Unlock() { FSection.unlock(); }
    int GetItemCount() const;
    // False for an index out of range.
    bool GetItem(int index, TAttachment& item) const;
    // Ignores an empty original file. An empty send-as name becomes the original's file
    // name without its folder, an empty field name the send-as name without its last
    // extension; an empty archive name attaches the file by itself.
    void Add(const std::u16string& originalFile, const std::u16string& sendAsName = {},
             const std::u16string& archiveName = {}, const std::u16string& fieldName = {});
    // Removes the first entry of that original file (letter case ignored).
    bool Delete(const std::u16string& originalFile);
    void Clear();
    // An unbound list with the same entries.
    std::shared_ptr<ReportAttachments> Clone() const;

    void ClearParent();
    std::function<void()> OnChange;

private:
    void Changed();

    mutable std::recursive_mutex FSection;
    std::vector<TAttachment> FItems;
};

} // namespace crash
