#pragma once
// A stand-in for the HTML label the download window is laid out with until the real one
// lands: it shows its markup as plain text and keeps the name, rectangle, colours and
// stacking of the real control.

#include "framework/label.h"

#include <string>

namespace app {

class THTMLLabel : public framework::TLabel
{
public:
    explicit THTMLLabel(framework::TComponent* AOwner);
    const std::wstring& HTMLText() const noexcept { return FHTMLText; }
    void SetHTMLText(const std::wstring& markup);

private:
    std::wstring FHTMLText;
};

} // namespace app
