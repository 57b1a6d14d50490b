#pragma once
// The popup (context) menu: items with captions and click handlers, shown at a point of
// the screen. A control with a popup menu shows it on a right click (AutoPopup).

#include "framework/object.h"

#include <windows.h>

#include <string>
#include <vector>

namespace framework {

struct TMenuItem
{
    std::wstring Caption;
    TNotifyEvent OnClick;
};

class TPopupMenu : public TComponent
{
public:
    explicit TPopupMenu(TComponent* AOwner) : TComponent(AOwner) {}

    std::vector<TMenuItem> Items;
    bool AutoPopup = true;
    TNotifyEvent OnPopup;

    // Shows the menu at a screen point over `owner` and runs the chosen item's OnClick.
    // Returns the index of the chosen item, or -1.
    int Popup(int x, int y, HWND owner);
    // A test hook: when set, Popup calls it instead of showing the menu and takes its answer.
    static int (*Chooser)(const TPopupMenu& menu, int x, int y);
};

} // namespace framework
