#include "controls/html/html_container.h"

#include "controls/html/html_label.h"

#include <algorithm>

namespace html {

THTMLContainer::~THTMLContainer()
{
    for (THTMLLabel* label : std::vector<THTMLLabel*>(FLabels))
        label->ContainerGone();
}

int THTMLContainer::IndexOf(const std::wstring& name) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].Name == name)
            return static_cast<int>(i);
    return -1;
}

int THTMLContainer::Add(const std::wstring& name, const std::wstring& caption)
{
    std::wstring unique = name;
    for (int n = 0; unique.empty() || IndexOf(unique) >= 0; ++n)
        unique = L"HTMLSnip" + std::to_wstring(n);
    FItems.push_back({unique, caption});
    Changed();
    return static_cast<int>(FItems.size()) - 1;
}

void THTMLContainer::SetCaption(int index, const std::wstring& caption)
{
    if (index < 0 || index >= static_cast<int>(FItems.size()) ||
        FItems[static_cast<size_t>(index)].Caption == caption)
        return;
    FItems[static_cast<size_t>(index)].Caption = caption;
    Changed();
}

void THTMLContainer::Changed()
{
    for (THTMLLabel* label : FLabels)
        label->Rebuild();
    if (OnChange)
        OnChange(this);
}

} // namespace html
