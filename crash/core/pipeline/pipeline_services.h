#pragma once
// What the layers above the pipeline do for it: the crash dialog, the assistants, saving,
// printing, delivery, the clipboard, the screenshot, the report text and the freeze
// detector. The reporter's wiring installs them at start-up; a part that is not installed is
// skipped (a test installs recorders).

#include "crash/core/pipeline/exception_report_interfaces.h"

#include <windows.h>

#include <string>

namespace crash {

// The crash dialog's window class and its private messages: the report changed (wParam 1357,
// lParam 2468), show the report, close.
constexpr wchar_t CrashDialogClass[] = L"VexcatchWndClass";
constexpr UINT ReportChangedMessage = 1801;
constexpr UINT ShowDetailsMessage = 1802;
constexpr UINT CloseDialogMessage = 1803;

struct TAssistantRun
{
    bool Exists = false; // the assistant could be loaded
    bool Ok = false;     // the user ended it with OK
};

struct TPipelineServices
{
    // The crash dialog in the form `show` asks for; returns when it has closed.
    void (*ShowCrashDialog)(IExceptionReport& report, ShowSetting show) = nullptr;
    // Runs the assistant `name` modally over `parent`; with OK its answers are in the report
    // and its values in the form cache.
    TAssistantRun (*RunAssistant)(IExceptionReport& report, const std::u16string& name,
                                  HWND parent) = nullptr;
    // Saves the report: to BugReportFile when `automatic`, else through the save dialog.
    bool (*SaveBugReport)(IExceptionReport& report, HWND parent, bool automatic) = nullptr;
    bool (*PrintBugReport)(IExceptionReport& report, HWND parent) = nullptr;
    // Delivers the report; `background`: on a thread of its own whose handle goes to the
    // report's PSendThread; `hidden`: without the progress window.
    bool (*SendBugReport)(IExceptionReport& report, HWND parent, bool background, bool hidden) = nullptr;
    void (*CopyToClipboard)(const std::u16string& text) = nullptr;
    base::ComPtr<IVxBitmap> (*CaptureScreenShot)(IExceptionReport& report) = nullptr;
    // The report text (with `mustBeComplete` once every part is there); `complete` tells
    // whether every part is there.
    std::u16string (*ReportText)(IExceptionReport& report, bool mustBeComplete, bool& complete) = nullptr;
    // The report as an HTML page, for the web client of a CGI program.
    std::u16string (*HtmlPage)(IExceptionReport& report) = nullptr;
    void (*ResetFreezeCounter)() = nullptr;
    // Empties the reporter's temporary folder (before each report).
    void (*ClearTempFolder)() = nullptr;
};

void SetPipelineServices(const TPipelineServices& services);
const TPipelineServices& PipelineServices();

} // namespace crash
