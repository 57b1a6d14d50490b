#include "framework/popup_menu.h"

#include "base/win_handle.h"

namespace framework {

int (*TPopupMenu::Chooser)(const TPopupMenu&, int, int) = nullptr;

int TPopupMenu::Popup(int x, int y, HWND owner)
{
    if (OnPopup)
        OnPopup(this);
    int chosen = -1;
    if (Chooser) {
        chosen = Chooser(*this, x, y);
    } else {
        base::Menu menu(::CreatePopupMenu());
        if (!menu)
            return -1;
        for (size_t i = 0; i < Items.size(); ++i)
            ::AppendMenuW(menu.Get(), Items[i].Caption == L"-" ? MF_SEPARATOR : MF_STRING, i + 1,
                          Items[i].Caption.c_str());
        chosen = static_cast<int>(
                     ::TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, owner, nullptr)) -
                 1;
    }
    if (chosen >= 0 && chosen < static_cast<int>(Items.size()) && Items[static_cast<size_t>(chosen)].OnClick)
        Items[static_cast<size_t>(chosen)].OnClick(this);
    return chosen;
}

} // namespace framework
