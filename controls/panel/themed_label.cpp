#include "controls/panel/themed_label.h"

#include <uxtheme.h>

namespace panel {
namespace {

TThemeMode GlobalMode = ttmPlatform;

} // namespace

TThemeMode GlobalThemeMode()
{
    return GlobalMode;
}

void SetGlobalThemeMode(TThemeMode mode)
{
    GlobalMode = mode;
}

bool VisualStylesActive()
{
    return ::IsThemeActive() && ::IsAppThemed();
}

TCustomThemedLabel::TCustomThemedLabel(framework::TComponent* AOwner) : TLabel(AOwner) {}

void TCustomThemedLabel::SetEndEllipsis(bool value)
{
    if (framework::SetIfChanged(FEndEllipsis, value))
        AdjustSize();
}

void TCustomThemedLabel::SetShowAccelChar(bool value)
{
    if (framework::SetIfChanged(FShowAccelChar, value)) {
        AdjustSize();
        Invalidate();
    }
}

void TCustomThemedLabel::SetBorderWidth(int value)
{
    if (framework::SetIfChanged(FBorderWidth, value)) {
        AdjustSize();
        Invalidate();
    }
}

void TCustomThemedLabel::SetThemeMode(TThemeMode value)
{
    if (framework::SetIfChanged(FThemeMode, value))
        Invalidate();
}

void TCustomThemedLabel::SetThemeGlobalMode(bool value)
{
    if (framework::SetIfChanged(FThemeGlobalMode, value))
        Invalidate();
}

bool TCustomThemedLabel::Themed() const
{
    return (FThemeGlobalMode ? GlobalThemeMode() : FThemeMode) != ttmNone && VisualStylesActive();
}

UINT TCustomThemedLabel::PlainFormat() const
{
    UINT format = DT_EXPANDTABS | (WordWrap() ? DT_WORDBREAK : 0);
    if (!FShowAccelChar)
        format |= DT_NOPREFIX;
    if (FEndEllipsis)
        format |= DT_END_ELLIPSIS;
    if (Alignment() == framework::taCenter)
        format |= DT_CENTER;
    else if (Alignment() == framework::taRightJustify)
        format |= DT_RIGHT;
    return format;
}

} // namespace panel
