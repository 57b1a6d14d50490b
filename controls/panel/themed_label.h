#pragma once
// The library's base label: the platform label with theming, a border width, plain-mode
// options and a named-style hook.

#include "framework/label.h"

#include <string>

namespace panel {

enum TThemeMode
{
    ttmNone,
    ttmPlatform,
    ttmNative
};

// The application-wide theme mode that controls with ThemeGlobalMode follow.
TThemeMode GlobalThemeMode();
void SetGlobalThemeMode(TThemeMode mode);
// Whether the platform's visual styles are in use by this application.
bool VisualStylesActive();

class TCustomThemedLabel : public framework::TLabel
{
public:
    explicit TCustomThemedLabel(framework::TComponent* AOwner);

    const std::wstring& Hint() const noexcept { return FHint; }
    void SetHint(const std::wstring& value) { FHint = value; }
    // Plain mode: a cut line ends with an ellipsis.
    bool EndEllipsis() const noexcept { return FEndEllipsis; }
    void SetEndEllipsis(bool value);
    // Plain mode: "&" marks an accelerator.
    bool ShowAccelChar() const noexcept { return FShowAccelChar; }
    void SetShowAccelChar(bool value);
    // An empty margin around the text on all four sides.
    int BorderWidth() const noexcept { return FBorderWidth; }
    void SetBorderWidth(int value);
    TThemeMode ThemeMode() const noexcept { return FThemeMode; }
    void SetThemeMode(TThemeMode value);
    bool ThemeGlobalMode() const noexcept { return FThemeGlobalMode; }
    void SetThemeGlobalMode(bool value);
    // The boolean of older layouts: true is ttmPlatform, false ttmNone.
    void SetUseXPThemes(bool value) { SetThemeMode(value ? ttmPlatform : ttmNone); }
    // Painted themed: a theme mode other than ttmNone is in force and visual styles are on.
    bool Themed() const;

    // A named property set of the application's style manager. That manager holds no sets
    // in this program, so naming one applies nothing.
    const std::wstring& StyleName() const noexcept { return FStyleName; }
    void SetStyleName(const std::wstring& value) { FStyleName = value; }

protected:
    // The DrawText format of plain mode.
    UINT PlainFormat() const;

private:
    std::wstring FHint;
    std::wstring FStyleName;
    bool FEndEllipsis = false;
    bool FShowAccelChar = true;
    int FBorderWidth = 0;
    TThemeMode FThemeMode = ttmPlatform;
    bool FThemeGlobalMode = false;
};

} // namespace panel
