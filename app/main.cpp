// Program entry: the download window as the main window of the application.

#include "app/download_form.h"
#include "framework/application.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    framework::TApplication application;
    application.Initialize();
    application.MainFormOnTaskBar = true;
    application.SetTitle(L"Lumigate");
    application.CreateForm<app::TForm1>();
    application.Run();
    return 0;
}
