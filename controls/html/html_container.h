#pragma once
// A non-visual store of caption snippets that HTML labels can show by index, and switch
// between through links that name a snippet.

#include "framework/object.h"

#include <string>
#include <vector>

namespace html {

class THTMLLabel;

struct THTMLListItem
{
    std::wstring Name;    // unique within its container
    std::wstring Caption; // markup
};

class THTMLContainer : public framework::TComponent
{
public:
    explicit THTMLContainer(framework::TComponent* AOwner) : TComponent(AOwner) {}
    ~THTMLContainer() override;

    const std::vector<THTMLListItem>& Items() const noexcept { return FItems; }
    // Adds a snippet; an empty or taken name becomes "HTMLSnip" and the lowest free number.
    int Add(const std::wstring& name, const std::wstring& caption);
    void SetCaption(int index, const std::wstring& caption);
    // The index of the snippet of that name, or -1.
    int IndexOf(const std::wstring& name) const;

    framework::TNotifyEvent OnChange;

private:
    friend class THTMLLabel;
    void Changed();

    std::vector<THTMLListItem> FItems;
    std::vector<THTMLLabel*> FLabels; // the labels that show a snippet of this container
};

} // namespace html
