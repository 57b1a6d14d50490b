// Program entry: the download window as the main window of the application, under the crash
// reporter, which starts before anything else of the program and ends after it. (The start-up
// benchmark builds it a second time without the reporter, LUMIGATE_WITHOUT_REPORTER, to
// measure what the reporter costs.)

#include "app/download_form.h"
#include "framework/application.h"

#include <windows.h>

#ifndef LUMIGATE_WITHOUT_REPORTER
#include "crash/crash_reporter_win.h"

__attribute__((init_priority(101))) crash::TCrashReporter Reporter;
#endif

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
