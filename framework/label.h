#pragma once
// The windowless text label.

#include "framework/control.h"

namespace framework {

enum TAlignment
{
    taLeftJustify,
    taRightJustify,
    taCenter
};
enum TTextLayout
{
    tlTop,
    tlCenter,
    tlBottom
};

class TLabel : public TGraphicControl
{
public:
    explicit TLabel(TComponent* AOwner);

    TAlignment Alignment() const noexcept { return FAlignment; }
    void SetAlignment(TAlignment value);
    TTextLayout Layout() const noexcept { return FLayout; }
    void SetLayout(TTextLayout value);
    bool WordWrap() const noexcept { return FWordWrap; }
    void SetWordWrap(bool value);
    // A transparent label paints only its text over its parent's surface.
    bool Transparent() const noexcept { return FTransparent; }
    void SetTransparent(bool value);
    // With AutoSize the label takes the size of its text.
    bool AutoSize() const noexcept { return FAutoSize; }
    void SetAutoSize(bool value);

    void Paint(TCanvas& canvas) override;

protected:
    void CaptionChanged() override;
    void FontChanged() override;
    UINT TextFormat() const;
    // Sizes the label to its text when AutoSize is set.
    virtual void AdjustSize();

private:
    TAlignment FAlignment = taLeftJustify;
    TTextLayout FLayout = tlTop;
    bool FWordWrap = false;
    bool FTransparent = false;
    bool FAutoSize = true;
};

} // namespace framework
