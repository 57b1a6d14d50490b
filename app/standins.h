#pragma once
// Stand-ins for the controls the download window is laid out with until their real
// implementations land: the HTML label shows its markup as plain text, the marquee paints
// its background only. Both keep the names, rectangles, colours and stacking of the
// real controls.

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

class TMarquee : public framework::TGraphicControl
{
public:
    using TGraphicControl::TGraphicControl;
    void Paint(framework::TCanvas& canvas) override;
};

} // namespace app
