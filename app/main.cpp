// Program entry: the download window as the main window of the application, under the crash
// reporter, which starts before anything else of the program and ends after it.

#include "app/download_form.h"
#include "crash/crash_reporter_win.h"
#include "framework/application.h"

#include <windows.h>

__attribute__((init_priority(101))) crash::TCrashReporter Reporter;

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
