// Benchmark of the crash dialog under Wine: the time from the pipeline's call of the dialog to
// its first paint, against the first paint of a bare window; and the time to build and paint
// the call-stack tab of a report with 20 threads, against the same text in a plain edit
// control. Prints its figures; never fails on time.

#include "base/win_handle.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/startup_win.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/pipeline/process_handoff_win.h"
#include "crash/core/report/report_assembly_win.h"
#include "crash/core/stack/stack_text.h"
#include "crash/ui/exception_box_win.h"
#include "crash/ui/report_view_win.h"

#include "bench/win_clock.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// ---- the dialog's first paint -------------------------------------------------------------

double Painted = 0;
HHOOK PaintHook = nullptr;

// The first paint of the dialog ends the measurement and the dialog.
LRESULT CALLBACK WatchPaint(int code, WPARAM wparam, LPARAM lparam)
{
    const auto* msg = reinterpret_cast<const MSG*>(lparam);
    if (code == HC_ACTION && msg->message == WM_PAINT && !Painted) {
        wchar_t name[64] = {};
        ::GetClassNameW(msg->hwnd, name, 64);
        if (std::wstring(name) == crash::CrashDialogClass) {
            Painted = bench::Now();
            ::PostMessageW(msg->hwnd, crash::CloseDialogMessage, 0, 0);
        }
    }
    return ::CallNextHookEx(PaintHook, code, wparam, lparam);
}

double Called = 0;

struct THookTraits
{
    using Handle = HHOOK;
    static constexpr Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::UnhookWindowsHookEx(h); }
};

void ShowDialog(crash::IExceptionReport& report, crash::ShowSetting show)
{
    const base::UniqueHandle<THookTraits> hook(
        ::SetWindowsHookExW(WH_GETMESSAGE, &WatchPaint, nullptr, ::GetCurrentThreadId()));
    PaintHook = hook.Get();
    Called = bench::Now();
    crash::ShowCrashDialog(report, show);
}

DWORD WINAPI Dispatch(void*)
{
    crash::TDispatchRequest request;
    request.Source = crash::esManual;
    crash::DispatchException(request);
    return 0;
}

double DialogFirstPaint()
{
    Painted = 0;
    const base::KernelHandle thread(::CreateThread(nullptr, 0, &Dispatch, nullptr, 0, nullptr));
    ::WaitForSingleObject(thread.Get(), INFINITE);
    return Painted - Called;
}

// A bare top-level window, shown as the dialog is, until its first paint.
double BareFirstPaint()
{
    const double start = bench::Now();
    base::Window wnd(::CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"bare", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                       100, 100, 500, 200, nullptr, nullptr, nullptr, nullptr));
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        const bool paint = msg.message == WM_PAINT && msg.hwnd == wnd.Get();
        ::DispatchMessageW(&msg);
        if (paint)
            break;
    }
    return bench::Now() - start;
}

// ---- the call-stack tab -------------------------------------------------------------------

crash::TReportViewControl* CurrentView = nullptr;

LRESULT CALLBACK ViewParent(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    LRESULT result = 0;
    if (CurrentView && CurrentView->ParentMessage(msg, wparam, lparam, result))
        return result;
    return ::DefWindowProcW(wnd, msg, wparam, lparam);
}

std::u16string TwentyThreads()
{
    std::u16string text;
    for (int t = 0; t < 20; ++t) {
        std::vector<crash::TStackLine> lines;
        for (uint32_t k = 0; k < 15; ++k)
            lines.push_back({0x00401000 + 0x100 * k + static_cast<uint32_t>(t), 0x00401000 + 0x100 * k,
                             k % 3 ? u"lumigate.exe" : u"kernel32.dll", k % 3 ? u"download_window.cpp" : u"",
                             k % 3 ? 100 + k : 0, k % 3 ? 90 + k : 0,
                             u"TDownloadWindow.Step" + std::u16string(1, u'A' + k)});
        if (t)
            text += u"\r\n\r\n";
        text +=
            u">> thread $" + std::u16string(1, u'a' + t) + u"\r\n" + crash::StackText(lines, {true, true});
    }
    return text;
}

double BuildView(HWND parent, const std::u16string& text, bool list)
{
    const double start = bench::Now();
    const crash::TTabContent content{crash::TTabKind::CallStack, u"", text};
    const HFONT font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    auto view = std::make_unique<crash::TReportViewControl>(list ? crash::PrepareReportView(content)
                                                                 : crash::TReportView{},
                                                            text, crash::TReportViewFonts{font, font}, true);
    CurrentView = view.get();
    view->Create(parent, RECT{0, 0, 640, 440}, nullptr);
    ::UpdateWindow(view->Window());
    const double took = bench::Now() - start;
    CurrentView = nullptr;
    return took;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (crash::StartReporter({.Processor = &crash::ProcessHandoff,
                              .StartPipeline = &crash::StartPipeline,
                              .StopPipeline = &crash::StopPipeline}) != crash::TReporterStart::Enabled)
        return 1;
    crash::TPipelineServices services;
    services.ShowCrashDialog = &ShowDialog;
    services.ReportText = &crash::AssembledReportText;
    crash::SetPipelineServices(services);
    constexpr int Runs = 11;
    std::vector<double> dialog, bare, list, edit;
    for (int k = 0; k < Runs; ++k) {
        dialog.push_back(DialogFirstPaint());
        bare.push_back(BareFirstPaint());
    }

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &ViewParent;
    wc.hInstance = instance;
    wc.lpszClassName = L"CrashDialogBenchParent";
    const base::WindowClass parentClass(wc);
    const base::Window parent(::CreateWindowExW(0, parentClass.Name(), L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                                0, 0, 660, 480, nullptr, nullptr, instance, nullptr));
    const std::u16string text = TwentyThreads();
    for (int k = 0; k < Runs; ++k) {
        list.push_back(BuildView(parent.Get(), text, true));
        edit.push_back(BuildView(parent.Get(), text, false));
    }
    crash::StopReporter();

    const double d = bench::Median(dialog), b = bench::Median(bare), l = bench::Median(list),
                 e = bench::Median(edit);
    std::printf("crash dialog, call to first paint: %.2f ms = %.1f x a bare window's first paint (%.2f ms); "
                "goal under 50 ms (median of %d)\n",
                d * 1e3, d / b, b * 1e3, Runs);
    std::printf(
        "call-stack tab of 20 threads built and painted: %.2f ms = %.1f x the same text in an edit control "
        "(%.2f ms); goal under 100 ms (median of %d)\n",
        l * 1e3, l / e, e * 1e3, Runs);
    return 0;
}
