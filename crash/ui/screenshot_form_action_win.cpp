#include "crash/ui/screenshot_form_action_win.h"

#include "base/win_handle.h"
#include "crash/core/pipeline/exception_report_interfaces.h"
#include "crash/settings/report_settings.h"

#include <shellapi.h>

namespace crash {
namespace {

// What the form remembers between its events: the file, its last modification time and the
// editor. One screenshot form is shown at a time.
struct TEditing
{
    FILETIME Written{};
    bool Saved = false;
    base::KernelHandle Editor;
};
TEditing Editing;

std::wstring ScreenshotFile()
{
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + L"screenShot.bmp";
}

bool LastWritten(const std::wstring& file, FILETIME& written)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data))
        return false;
    written = data.ftLastWriteTime;
    return true;
}

bool EditorRunning()
{
    return Editing.Editor && ::WaitForSingleObject(Editing.Editor.Get(), 0) == WAIT_TIMEOUT;
}

void OpenInEditor(IExceptionReport& report, HWND parent)
{
    const std::wstring file = ScreenshotFile();
    if (!Editing.Saved) {
        const base::ComPtr<IVxBitmap> shot = report.GetScreenShot();
        Editing.Saved = shot && shot->SaveBmp(file) && LastWritten(file, Editing.Written);
    }
    if (EditorRunning())
        return;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI; // a beep says it failed
    info.hwnd = parent;
    info.lpVerb = L"edit";
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWMAXIMIZED;
    if (Editing.Saved && ::ShellExecuteExW(&info))
        Editing.Editor.Reset(info.hProcess);
    else
        ::Beep(60, 60);
}

// The file changed: the edited picture becomes the report's screenshot.
void Reload(IExceptionReport& report, TNVItem* image)
{
    FILETIME written;
    const std::wstring file = ScreenshotFile();
    if (!Editing.Saved || !LastWritten(file, written) || ::CompareFileTime(&written, &Editing.Written) == 0)
        return;
    const base::ComPtr<IVxBitmap> edited = LoadBitmapFile(file);
    if (edited) { // else the editor may still be writing: the next tick tries again
        Editing.Written = written;
        report.SetScreenShot(edited);
        if (image)
            image->SetBitmap(edited);
    }
}

} // namespace

void ScreenshotFormAction(TNVForm& form, TNVAction action, TNVItem* item, ReportSettings* exception)
{
    auto* report = dynamic_cast<IExceptionReport*>(exception);
    if (!report)
        return;
    TNVItem* image = form.ItemOf(u"ScrShotImg", TItemKind::Image);
    TNVItem* attach = form.ItemOf(u"AttachCheck", TItemKind::CheckBox);
    switch (action) {
    case nvaFormCreate:
        if (image)
            image->SetBitmap(report->GetScreenShot());
        if (attach)
            attach->SetChecked(report->GetAppendScreenShot());
        break;
    case nvaItemEvent:
        if (item && item == image)
            OpenInEditor(*report, form.Handle());
        else if (!item)
            Reload(*report, image);
        break;
    case nvaFormClose:
        Editing.Editor.Reset();
        ::DeleteFileW(ScreenshotFile().c_str());
        Editing.Saved = false;
        if (attach)
            report->SetAppendScreenShot(attach->GetChecked());
        break;
    case nvaFormShow:
        break;
    }
}

} // namespace crash
