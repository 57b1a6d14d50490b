#pragma once
// The panel: a windowed container with a background colour, bevels, an optional border
// and a centred caption.

#include "framework/control.h"

namespace framework {

enum TBevelCut
{
    bvNone,
    bvLowered,
    bvRaised
};
enum TBorderStyle
{
    bsNoBorder,
    bsSingleBorder
};

class TPanel : public TWinControl
{
public:
    explicit TPanel(TComponent* AOwner);

    TBevelCut BevelOuter() const noexcept { return FBevelOuter; }
    void SetBevelOuter(TBevelCut value);
    TBevelCut BevelInner() const noexcept { return FBevelInner; }
    void SetBevelInner(TBevelCut value);
    int BevelWidth() const noexcept { return FBevelWidth; }
    void SetBevelWidth(int value);
    TBorderStyle BorderStyle() const noexcept { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle value);
    bool ShowCaption() const noexcept { return FShowCaption; }
    void SetShowCaption(bool value);

    void Paint(TCanvas& canvas) override;

protected:
    void CreateParams(TCreateParams& params) override;

private:
    TBevelCut FBevelOuter = bvRaised;
    TBevelCut FBevelInner = bvNone;
    int FBevelWidth = 1;
    TBorderStyle FBorderStyle = bsNoBorder;
    bool FShowCaption = true;
};

} // namespace framework
