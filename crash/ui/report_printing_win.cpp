#include "crash/ui/report_printing_win.h"

#include "base/win_handle.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/settings/module_settings.h"
#include "crash/ui/print_layout.h"

#include <commdlg.h>

namespace crash {
namespace {

const wchar_t* Wide(const std::u16string& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// What the print dialog hands back besides the device context.
struct TDialogMemory
{
    base::GlobalMemory DevMode, DevNames;
};

int LineHeight(HDC dc, const std::u16string& line, int width)
{
    RECT r{0, 0, width, 0};
    return ::DrawTextW(dc, Wide(line), static_cast<int>(line.size()), &r,
                       DT_CALCRECT | DT_WORDBREAK | DT_EXTERNALLEADING | DT_NOPREFIX);
}

void Print(HDC dc, const std::u16string& text, const std::u16string& documentName)
{
    ::SetMapMode(dc, MM_TEXT);
    const TPrintMargins m =
        PrintMargins({::GetDeviceCaps(dc, HORZRES), ::GetDeviceCaps(dc, VERTRES),
                      ::GetDeviceCaps(dc, HORZSIZE), ::GetDeviceCaps(dc, VERTSIZE),
                      ::GetDeviceCaps(dc, PHYSICALOFFSETX), ::GetDeviceCaps(dc, PHYSICALOFFSETY)});
    const base::GdiObject font(::CreateFontW(
        -(::GetDeviceCaps(dc, LOGPIXELSY) * 8 / 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New"));
    const base::DcSelection selected(dc, font.Get()); // the previous font back at the end
    DOCINFOW doc{};
    doc.cbSize = sizeof doc;
    doc.lpszDocName = Wide(documentName);
    if (::StartDocW(dc, &doc) > 0) {
        if (::StartPage(dc) > 0) {
            int page = 0;
            for (const TPrintedLine& line :
                 LayOutPrint(text, m, [&](const std::u16string& l) { return LineHeight(dc, l, m.Width); })) {
                if (line.Page != page) {
                    ::EndPage(dc);
                    ::StartPage(dc);
                    page = line.Page;
                }
                RECT r{line.X, line.Y, line.X + m.Width, m.Bottom + m.Top};
                ::DrawTextW(dc, Wide(line.Text), static_cast<int>(line.Text.size()), &r,
                            DT_WORDBREAK | DT_EXTERNALLEADING | DT_NOPREFIX);
            }
            ::EndPage(dc);
        }
        ::EndDoc(dc);
    }
}

} // namespace

void PrintReportText(const std::u16string& text, HWND owner, ReportSettings* settings)
{
    base::ComPtr<ReportSettings> caller;
    if (!settings) {
        caller = CallerModuleSettingsAtDepth(1);
        settings = caller.Get();
    }
    if (LoaderLockBusy(BlockedWaitMs)) {
        ::MessageBeep(0);
        return;
    }
    PRINTDLGW pd{};
    pd.lStructSize = sizeof pd;
    pd.hwndOwner = owner;
    pd.Flags = PD_RETURNDC | PD_NOSELECTION | PD_NOPAGENUMS | PD_NOWARNING | PD_USEDEVMODECOPIESANDCOLLATE |
               PD_HIDEPRINTTOFILE | PD_NONETWORKBUTTON;
    const BOOL chosen = ::PrintDlgW(&pd);
    const TDialogMemory memory{base::GlobalMemory(pd.hDevMode), base::GlobalMemory(pd.hDevNames)};
    if (!chosen || !pd.hDC)
        return;
    const base::PrinterDc dc(pd.hDC);
    Print(dc.Get(), text, settings ? settings->GetPrintBtnCaption() : std::u16string(u"print bug report"));
}

} // namespace crash
