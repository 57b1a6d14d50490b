// An image editor for the tests, registered for the shell's "edit" verb on .bmp files:
//     stand_in_editor FILE
// paints the picture's upper half red and saves it where it was.

#include "base/win_handle.h"
#include "crash/imaging/vx_bitmap.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (__argc < 2)
        return 2;
    const std::wstring file = __wargv[1];
    const base::ComPtr<crash::IVxBitmap> picture = crash::LoadBitmapFile(file);
    if (!picture)
        return 1;
    const RECT upper{0, 0, picture->GetWidth(), picture->GetHeight() / 2};
    const base::GdiObject red(::CreateSolidBrush(RGB(255, 0, 0)));
    ::FillRect(picture->DC(), &upper, static_cast<HBRUSH>(red.Get()));
    ::Sleep(300); // a user takes longer; the file's time must differ from the saved one's
    return picture->SaveBmp(file) ? 0 : 1;
}
