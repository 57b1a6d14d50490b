#pragma once
// ReportFields: an ordered list of (name, content) pairs of UTF-16 text with a lock of its
// own. Names match without regard to letter case. It holds a report's header and sections,
// the additional form fields of the settings and the assistants' form cache.
//
// Writes are ignored until AcceptData has been called. Contents are trimmed of the
// characters U+0000 to U+0020 at both ends, and an empty content deletes its item. Every
// change is signalled through OnChange (called with the lock held).

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace crash {

class ReportFields : public std::enable_shared_from_this<ReportFields>
{
public:
    void Lock() { FSection.lock(); }
    void Unlock() { FSection.unlock(); }

    int GetItemCount() const;
    // The name at index ("" out of range).
    std::u16string GetItem(int index) const;
    // Renames the item at index when the index is valid and the name differs.
    void SetItem(int index, const std::u16string& value);
    int FindItem(const std::u16string& item) const;
    std::u16string GetContent(const std::u16string& item) const;
    void SetContent(const std::u16string& item, const std::u16string& value);
    void Add(const std::u16string& item, const std::u16string& content) { SetContent(item, content); }
    void Insert(int index, const std::u16string& item, const std::u16string& content);
    void Delete(int index);
    void Delete(const std::u16string& item);
    // A new list, accepting data, with the same pairs in order.
    std::shared_ptr<ReportFields> Clone() const;

    // Position at which SetContent inserts new names; below 1 they go to the end.
    void SetAddIndex(int index);
    void AcceptData();
    // Detaches the owner: changes are no longer signalled.
    void ClearParent();
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
bool SameName(const std::u16string& a, const std::u16string& b);
// The text without the characters U+0000 to U+0020 at both ends.
std::u16string TrimControls(const std::u16string& text);

} // namespace crash
