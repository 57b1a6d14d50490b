#include "crash/ui/exception_box_win.h"

#include "base/com_ptr.h"
#include "base/seh_frame.h"
#include "base/win_handle.h"
#include "base/window_class.h"
#include "crash/core/freeze/freeze_watch_win.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/pipeline/handlers_win.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/pipeline/process_end_win.h"
#include "crash/dialogs/progress_position.h"
#include "crash/settings/module_settings.h"
#include "crash/settings/report_settings.h"
#include "crash/settings/system_variables.h"
#include "crash/settings/text_variables.h"
#include "crash/ui/exception_box_layout.h"
#include "crash/ui/report_tabs.h"
#include "crash/ui/report_view_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace crash {
namespace {

constexpr UINT_PTR CountdownTimer = 777;
constexpr int FirstButtonId = 100;
constexpr int FadeSteps = 8;
constexpr int ImageSize = 16;
constexpr int BigImageSize = 32;
constexpr wchar_t LinkText[] = L"korvane.com";
constexpr wchar_t LinkPage[] = L"https://www.korvane.com/";
constexpr const wchar_t* ImageNames[] = {L"vxisend",  L"vxisave",         L"vxiprint",
                                         L"vxishow",  L"vxicontinue",     L"vxirestart",
                                         L"vxiclose", L"vxicantContinue", L"vxibig"};

uint32_t Rgb(COLORREF c)
{
    return (static_cast<uint32_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

COLORREF ColorRef(uint32_t rgb)
{
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// The image's pixels (0xAARRGGBB, top row first), or empty when the resource is missing or
// not a 32-bit image of exactly `size` x `size`.
std::vector<uint32_t> LoadImagePixels(HMODULE module, const wchar_t* name, int size)
{
    const HRSRC info = ::FindResourceW(module, name, MAKEINTRESOURCEW(2)); // RT_BITMAP
    const HGLOBAL loaded = info ? ::LoadResource(module, info) : nullptr;
    const auto* data = static_cast<const uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
    const size_t bytes = static_cast<size_t>(size) * size * 4;
    if (!data || ::SizeofResource(module, info) != 40 + bytes)
        return {};
    BITMAPINFOHEADER header;
    std::memcpy(&header, data, sizeof header);
    if (header.biBitCount != 32)
        return {};
    std::vector<uint32_t> pixels(static_cast<size_t>(size) * size);
    for (int y = 0; y < size; ++y) {
        const int source = header.biHeight > 0 ? size - 1 - y : y; // bottom-up unless negative
        std::memcpy(&pixels[static_cast<size_t>(y) * size],
                    data + 40 + static_cast<size_t>(source) * size * 4, static_cast<size_t>(size) * 4);
    }
    return pixels;
}

bool DeepColours()
{
    const base::WindowDc screen(nullptr);
    return ::GetDeviceCaps(screen.Get(), BITSPIXEL) * ::GetDeviceCaps(screen.Get(), PLANES) > 14;
}

std::u16string ExecutableTitle()
{
    std::u16string name = ModuleFileName(nullptr);
    const size_t dot = name.find_last_of(u'.');
    return dot == std::u16string::npos ? name : name.substr(0, dot);
}

const wchar_t* W(const std::u16string& s)
{
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

std::wstring Wide(const std::u16string& s)
{
    return std::wstring(s.begin(), s.end());
}

TReportPairs Pairs(const base::ComPtr<IReportFields>& fields)
{
    TReportPairs out;
    if (!fields)
        return out;
    fields->Lock();
    for (int i = 0; i < fields->GetItemCount(); ++i) {
        std::u16string name = fields->GetItem(i);
        std::u16string content = fields->GetContent(name);
        out.emplace_back(std::move(name), std::move(content));
    }
    fields->Unlock();
    return out;
}

// A failure inside the dialog is the reporter's own: it is told to a debugger, the message
// counts as handled (result 0) and the dialog goes on.
template <class F> LRESULT Handled(F&& body) noexcept
{
    LRESULT result = 0;
    if (!base::Guarded([&] { result = body(); })) {
        ::OutputDebugStringW(L"Vexcatch: internal error in the crash dialog\n");
        return 0;
    }
    return result;
}

class TExceptionBox
{
public:
    TExceptionBox(IExceptionReport& exc, bool simple, bool detailsButton, bool sound);
    TExceptionBox(const TExceptionBox&) = delete;
    TExceptionBox& operator=(const TExceptionBox&) = delete;
    ~TExceptionBox();

    HWND Window() const { return FMainWnd.Get(); }
    bool Reshow() const { return FReshow; }
    // The message loop's part: keys the dialog handles itself; true when `msg` was used.
    bool PreTranslate(MSG& msg);

private:
    static LRESULT CALLBACK DialogWndProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam);
    static LRESULT CALLBACK TabsWndProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam);
    static void ReportChanged(void* self, bool complete, const std::u16string& report, IExceptionReport* exc);
    LRESULT DialogMessage(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam);

    void Decide();
    void CreateDrawingObjects();
    void CreateControls(const TBoxLayout& layout, const std::u16string& message,
                        const std::u16string& caption);
    void StartCountdown();
    void StopCountdown();
    void CountdownTick();
    void DrawButton(const DRAWITEMSTRUCT& item);
    void DrawIcon(const DRAWITEMSTRUCT& item);
    void PaintLinkLine(HDC dc);
    void Fade(HWND button, int from, int to);
    void Flash(HWND button, int index);
    void Command(int index);
    void CloseRequest();
    void ShowDetails();
    void Close();
    void CopyReport();
    void Resize();
    void RebuildTabs();
    TReportParts ReportParts() const;
    // The view of the selected tab of `parts` (the report as it stands), rebuilt when the tab
    // or its text changed.
    void ShowTab(const TReportParts& parts);
    RECT ViewRect() const;
    std::array<std::u16string, bxButtonCount> Captions() const;
    HWND ButtonOf(int index) const;
    int IndexOf(HWND button) const;

    base::ComPtr<IExceptionReport> FExc;
    base::MemoryDc FTmpDC;
    base::GdiObject FTmpBmp;
    base::GdiObject FFont1, FFont2, FFont3;
    int FTmpWidth = 0;
    uint32_t* FTmpBits = nullptr;
    HGDIOBJ FOldBmp = nullptr, FOldFont = nullptr;
    base::Window FMainWnd;
    std::atomic<HWND> FPostTarget{nullptr}; // FMainWnd for the report's callback threads
    HWND FTabs = nullptr;
    std::unique_ptr<TReportViewControl> FView;
    std::array<HWND, bxButtonCount> FButtons{};
    HWND FTimerBtn = nullptr;
    DWORD FLastFocusTime = 0;
    bool FDefaultMsgBox = false;
    bool FDetailsButton = false;
    bool FReshow = false;
    bool FPlain = false;
    bool FDeepColours = true;
    int FBtnHeight = 0;
    DWORD FTime = 0;
    UINT_PTR FTimer = 0;
    int FOldX = -1;
    HWND FIcoWnd = nullptr;
    int FMinWidth = 0, FMinHeight = 0;
    bool FSizingDone = false;
    int FCurrentTab = -1;
    std::u16string FCurrentTabContent;
    std::vector<std::u16string> FTabNames;
    bool FShuttingDown = false;
    int FNCLabelX = 0, FNCLabelY = -1, FNCLabelW = 0, FNCLabelH = 0;
    bool FNCLabelIn = false;
    int FLabelLine = -1;
    WNDPROC FOldTabsWndProc = nullptr;
    std::array<bool, bxButtonCount> FVisible{};
    std::array<int, bxButtonCount> FFade{}; // 0 the unfocused look, FadeSteps the focused
    std::array<std::vector<uint32_t>, 9> FImages;
    int FDefaultId = 0;
    int FFocusedIndex = -1;     // the button that had the focus last
    HWND FSavedFocus = nullptr; // the focus while the dialog is inactive
    TBoxRect FRightEdgeRects[bxButtonCount]{};
    int FClientWidthAtLayout = 0;
};

TExceptionBox::TExceptionBox(IExceptionReport& exc, bool simple, bool detailsButton, bool sound)
    : FExc(base::ComPtr<IExceptionReport>::Share(&exc)), FDefaultMsgBox(simple), FDetailsButton(detailsButton)
{
    FPlain = !simple && exc.GetNoOwnerDrawButtons();
    FDeepColours = DeepColours();
    Decide();
    CreateDrawingObjects();

    // The texts.
    std::u16string message, caption;
    const std::u16string exceptMessage = BreakExceptionMessage(exc.GetExceptMessage());
    const bool frozen = exc.GetExceptType() == etFrozen;
    if (simple && !frozen) {
        message = exceptMessage;
    } else if (auto* settings = dynamic_cast<ReportSettings*>(&exc)) {
        // The box is no place for the details or the whole report.
        message = settings->GetPropStrUnexpanded(frozen ? "FrozenMsg" : "ExceptMsg");
        ReplaceNoCase(message, u"%errorDetails%", u"");
        ReplaceNoCase(message, u"%bugReport%", u"");
        message = settings->ExpandTextVariables(message);
    } else {
        message = frozen ? exc.GetFrozenMsg() : exc.GetExceptMsg();
    }
    caption = simple ? ExecutableTitle() : exc.GetTitleBar();

    // The layout.
    TBoxInput in;
    in.Simple = simple;
    in.DetailsButton = detailsButton;
    in.Plain = FPlain;
    in.ReportShown = !simple && exc.GetAutoShowBugReport();
    in.HasIcon = !FImages[BigIconImage].empty();
    in.ContinueDisabled = !exc.GetCanContinue();
    in.Visible = FVisible;
    const std::array<std::u16string, bxButtonCount> captions = Captions();
    for (int b = 0; b < bxButtonCount; ++b) {
        RECT r{0, 0, 0, 0};
        if (FVisible[b])
            ::DrawTextW(FTmpDC.Get(), W(captions[b]), -1, &r, DT_CALCRECT | DT_SINGLELINE);
        in.CaptionWidths[b] = r.right - r.left;
    }
    in.ScreenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    in.ScreenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    in.CaptionHeight = ::GetSystemMetrics(SM_CYCAPTION);
    in.MeasureText = [&](int width) {
        RECT r{0, 0, std::max(width, 1), 0};
        ::DrawTextW(FTmpDC.Get(), W(message), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        return TBoxSize{r.right - r.left, r.bottom - r.top};
    };
    const TBoxLayout layout = LayoutExceptionBox(in);
    FBtnHeight = layout.ButtonHeight;

    // The bitmap buttons are drawn in, one button high.
    FTmpWidth = std::max(layout.DrawWidth, 1);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = FTmpWidth;
    info.bmiHeader.biHeight = -FBtnHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    FTmpBmp.Reset(::CreateDIBSection(FTmpDC.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (FTmpBmp && bits) {
        FTmpBits = static_cast<uint32_t*>(bits);
        FOldBmp = ::SelectObject(FTmpDC.Get(), FTmpBmp.Get());
    }

    CreateControls(layout, message, caption);
    if (!FMainWnd)
        return;
    StartCountdown();
    if (sound)
        ::MessageBeep(MB_ICONHAND);
    ::ShowWindow(FMainWnd.Get(), SW_SHOWNORMAL);
    if (::IsIconic(FMainWnd.Get()))
        ::ShowWindow(FMainWnd.Get(), SW_RESTORE);
    ::BringWindowToTop(FMainWnd.Get());
    ::SetForegroundWindow(FMainWnd.Get());
    if (const HWND focus = FDefaultId ? ::GetDlgItem(FMainWnd.Get(), FDefaultId) : nullptr)
        ::SetFocus(focus);
    if (exc.GetExceptType() == etFrozen)
        AnswerFreezeTo(FMainWnd.Get()); // the dialog closes when the main thread answers again
    FExc->RegisterBugReportCallbackOO({this, &ReportChanged}, false);
    if (FTabs)
        RebuildTabs();
    FSizingDone = true;
}

TExceptionBox::~TExceptionBox()
{
    FExc->UnregisterBugReportCallbackOO({this, &ReportChanged});
    FPostTarget = nullptr;
    StopCountdown();
    FView.reset();
    FMainWnd.Reset();
    if (FOldBmp)
        ::SelectObject(FTmpDC.Get(), FOldBmp);
    if (FOldFont)
        ::SelectObject(FTmpDC.Get(), FOldFont);
}

// Which buttons show and which one has the focus.
void TExceptionBox::Decide()
{
    IExceptionReport& exc = *FExc;
    if (!FDefaultMsgBox && exc.GetAutoShowBugReport())
        exc.SetShowBtnVisible(false);
    if (FDefaultMsgBox) {
        FVisible[bxContinue] = true;
        FVisible[bxShow] = FDetailsButton;
    } else {
        FVisible = {exc.GetSendBtnVisible(), exc.GetSaveBtnVisible(),     exc.GetPrintBtnVisible(),
                    exc.GetShowBtnVisible(), exc.GetContinueBtnVisible(), exc.GetRestartBtnVisible(),
                    exc.GetCloseBtnVisible()};
    }
    if (RecentExceptionsSay(exc.GetAutoClose()) && FVisible[bxClose])
        exc.SetFocusedButton(bCloseApplication);
    else if (RecentExceptionsSay(exc.GetAutoRestart()) && FVisible[bxRestart])
        exc.SetFocusedButton(bRestartApplication);
    else if (exc.GetAutoContinue() && FVisible[bxContinue] && exc.GetCanContinue())
        exc.SetFocusedButton(bContinueApplication);
    for (int i = 0; i < 9; ++i)
        FImages[static_cast<size_t>(i)] =
            LoadImagePixels(ReporterModule(), ImageNames[i], i == BigIconImage ? BigImageSize : ImageSize);
}

void TExceptionBox::CreateDrawingObjects()
{
    const auto font = [](const wchar_t* face, int height, int weight = FW_NORMAL) {
        LOGFONTW lf{};
        lf.lfHeight = -height;
        lf.lfWeight = weight;
        lf.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
        return ::CreateFontIndirectW(&lf);
    };
    FFont1.Reset(font(L"Tahoma", 11));
    if (!FFont1)
        FFont1.Reset(font(L"MS Sans Serif", 12));
    FFont2.Reset(font(L"Courier New", 11));
    FFont3.Reset(font(L"Small Fonts", 8));
    const base::WindowDc screen(nullptr);
    FTmpDC.Reset(::CreateCompatibleDC(screen.Get()));
    FOldFont = ::SelectObject(FTmpDC.Get(), FFont1.Get());
}

void TExceptionBox::CreateControls(const TBoxLayout& layout, const std::u16string& message,
                                   const std::u16string& caption)
{
    const HMODULE module = ReporterModule();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &DialogWndProc;
    wc.hInstance = module;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = CrashDialogClass;

    const bool reportShown = layout.Tabs.Width > 0;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST;
    DWORD style = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    if (reportShown)
        style |= WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    RECT frame{0, 0, layout.ClientWidth, layout.ClientHeight};
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    FMainWnd.Reset(::CreateWindowExW(exStyle, base::RegisteredClass(wc), W(caption), style, x, y, width,
                                     height, nullptr, nullptr, module, this));
    if (!FMainWnd)
        return;
    FPostTarget = FMainWnd.Get();
    FMinWidth = width;
    FMinHeight = height;
    FClientWidthAtLayout = layout.ClientWidth;
    if (!reportShown) {
        const HMENU menu = ::GetSystemMenu(FMainWnd.Get(), FALSE);
        for (UINT command : {SC_MAXIMIZE, SC_SIZE, SC_MINIMIZE, SC_RESTORE})
            ::DeleteMenu(menu, command, MF_BYCOMMAND);
    }
    const HWND wnd = FMainWnd.Get();
    const auto child = [&](const wchar_t* cls, const wchar_t* text, DWORD childStyle, const TBoxRect& r,
                           int id) {
        const HWND c =
            ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | childStyle, r.X, r.Y, r.Width, r.Height,
                              wnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module, nullptr);
        if (c)
            ::SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(FFont1.Get()), FALSE);
        return c;
    };
    if (layout.Icon.Width) {
        FIcoWnd = child(L"Button", L"", WS_DISABLED | BS_OWNERDRAW, layout.Icon, 0);
        ::SetWindowLongPtrW(FIcoWnd, GWLP_USERDATA, BigIconImage);
    }
    child(L"Static", W(message), SS_NOPREFIX, layout.Text, 0);

    const std::array<std::u16string, bxButtonCount> captions = Captions();
    const int focused = FExc->GetFocusedButton();
    // Created (and so reached with Tab) from left to right: the simple box's OK comes first.
    std::array<int, bxButtonCount> order{bxSend, bxSave, bxPrint, bxShow, bxContinue, bxRestart, bxClose};
    if (FDefaultMsgBox)
        std::swap(order[bxShow], order[bxContinue]);
    for (const int b : order) {
        if (!layout.Buttons[b].Width)
            continue;
        const bool isDefault = !FDefaultId && (FDefaultMsgBox ? b == bxContinue : b == focused);
        DWORD buttonStyle = WS_TABSTOP | BS_NOTIFY;
        if (FDefaultMsgBox)
            buttonStyle |= isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        else
            buttonStyle |= BS_OWNERDRAW;
        const bool disabled = b == bxContinue && layout.ContinueDisabled;
        if (disabled)
            buttonStyle |= WS_DISABLED;
        FButtons[b] = child(L"Button", W(captions[b]), buttonStyle, layout.Buttons[b], FirstButtonId + b);
        ::SetWindowLongPtrW(FButtons[b], GWLP_USERDATA, disabled ? ContinueDisabledImage : b);
        FRightEdgeRects[b] = layout.Buttons[b];
        if (isDefault && !disabled)
            FDefaultId = FirstButtonId + b;
    }

    FLabelLine = layout.LabelLine;
    if (FLabelLine >= 0) {
        const base::DcSelection font(FTmpDC.Get(), FFont3.Get());
        SIZE size{};
        ::GetTextExtentPoint32W(FTmpDC.Get(), LinkText, static_cast<int>(wcslen(LinkText)), &size);
        FNCLabelW = size.cx + 4;
        FNCLabelH = size.cy;
        FNCLabelX = layout.ClientWidth - 15 - FNCLabelW;
        FNCLabelY = FLabelLine + 5 - size.cy / 2;
    }

    if (reportShown) {
        ::InitCommonControls();
        FTabs = child(WC_TABCONTROLW, L"", WS_CLIPSIBLINGS | WS_TABSTOP, layout.Tabs, 0);
        ::SetWindowLongPtrW(FTabs, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        FOldTabsWndProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(FTabs, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TabsWndProc)));
    }
}

std::array<std::u16string, bxButtonCount> TExceptionBox::Captions() const
{
    IExceptionReport& exc = *FExc;
    return {exc.GetSendBtnCaption(),
            exc.GetSaveBtnCaption(),
            exc.GetPrintBtnCaption(),
            FDefaultMsgBox ? exc.GetDetailsBtnCaption() : exc.GetShowBtnCaption(),
            FDefaultMsgBox ? exc.GetOkBtnCaption() : exc.GetContinueBtnCaption(),
            exc.GetRestartBtnCaption(),
            exc.GetCloseBtnCaption()};
}

HWND TExceptionBox::ButtonOf(int index) const
{
    return index >= 0 && index < bxButtonCount ? FButtons[static_cast<size_t>(index)] : nullptr;
}

int TExceptionBox::IndexOf(HWND button) const
{
    for (int b = 0; b < bxButtonCount; ++b)
        if (button && FButtons[b] == button)
            return b;
    return -1;
}

void TExceptionBox::StartCountdown()
{
    if (FDefaultMsgBox)
        return;
    IExceptionReport& exc = *FExc;
    if (RecentExceptionsSay(exc.GetAutoClose()) && FButtons[bxClose])
        FTimerBtn = FButtons[bxClose];
    else if (RecentExceptionsSay(exc.GetAutoRestart()) && FButtons[bxRestart])
        FTimerBtn = FButtons[bxRestart];
    else if (exc.GetAutoContinue() && FButtons[bxContinue] && exc.GetCanContinue())
        FTimerBtn = FButtons[bxContinue];
    if (!FTimerBtn)
        return;
    FTime = std::max<DWORD>(::GetTickCount(), 1);
    FTimer = ::SetTimer(FMainWnd.Get(), CountdownTimer, 10, nullptr);
}

void TExceptionBox::StopCountdown()
{
    if (!FTime)
        return;
    FTime = 0;
    if (FTimer && FMainWnd)
        ::KillTimer(FMainWnd.Get(), CountdownTimer);
    FTimer = 0;
    FOldX = -1;
    if (FTimerBtn)
        ::InvalidateRect(FTimerBtn, nullptr, FALSE);
}

void TExceptionBox::CountdownTick()
{
    const uint32_t delay = FExc->GetAutoDelay();
    if (!FTime || !FTimerBtn || delay == 0)
        return;
    RECT r;
    ::GetClientRect(FTimerBtn, &r);
    const int x = CountdownPosition(::GetTickCount() - FTime, r.right, delay, FPlain);
    if (x == FOldX)
        return;
    FOldX = x;
    ::InvalidateRect(FTimerBtn, nullptr, FALSE);
    if (x > CountdownEnd(r.right, FPlain)) {
        const int id = ::GetDlgCtrlID(FTimerBtn);
        StopCountdown();
        ::PostMessageW(FMainWnd.Get(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(FMainWnd.Get(), id)));
    }
}

void TExceptionBox::DrawIcon(const DRAWITEMSTRUCT& item)
{
    const std::vector<uint32_t>& image = FImages[BigIconImage];
    if (image.empty())
        return;
    const uint32_t face = Rgb(::GetSysColor(COLOR_BTNFACE));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = BigImageSize;
    info.bmiHeader.biHeight = -BigImageSize;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    const base::DibSection section(info);
    if (!section.Valid())
        return;
    ::GdiFlush();
    auto* bits = static_cast<uint32_t*>(section.Bits());
    for (size_t i = 0; i < image.size(); ++i)
        bits[i] = BlendPixel(image[i], face);
    ::BitBlt(item.hDC, 0, 0, BigImageSize, BigImageSize, section.Dc(), 0, 0, SRCCOPY);
}

void TExceptionBox::DrawButton(const DRAWITEMSTRUCT& item)
{
    if (!FTmpBits)
        return;
    const HWND button = item.hwndItem;
    const int index = IndexOf(button);
    const int image = static_cast<int>(::GetWindowLongPtrW(button, GWLP_USERDATA));
    const int width = std::min<int>(item.rcItem.right - item.rcItem.left, FTmpWidth);
    const int height = std::min<int>(item.rcItem.bottom - item.rcItem.top, FBtnHeight);
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool focused = (item.itemState & ODS_FOCUS) != 0;
    const HDC dc = FTmpDC.Get();
    const base::SavedDc saved(dc);
    const uint32_t face = Rgb(::GetSysColor(COLOR_BTNFACE));
    const uint32_t shadow = Rgb(::GetSysColor(COLOR_3DDKSHADOW));
    int offset = 0;
    uint32_t back = face, text = 0;
    RECT all{0, 0, width, height};
    if (FPlain) {
        ::DrawFrameControl(dc, &all, DFC_BUTTON, DFCS_BUTTONPUSH | (selected ? DFCS_PUSHED : 0));
        offset = selected ? 2 : 0;
    } else {
        uint32_t unfocused = FDeepColours ? ShadeColour(face, disabled ? 8 : 16) : face;
        const int level = index >= 0 ? FFade[static_cast<size_t>(index)] : 0;
        back = FadeColour(unfocused, shadow, level);
        text = FadeColour(0, 0xFFFFFF, level);
        const base::GdiObject brush(::CreateSolidBrush(ColorRef(back)));
        ::FillRect(dc, &all, static_cast<HBRUSH>(brush.Get()));
    }
    ::GdiFlush();
    // The countdown bar with four blended lines on each side.
    if (button == FTimerBtn && FTime && FOldX >= 0) {
        const uint32_t bar = FPlain ? shadow : face;
        const int margin = FPlain ? 3 : 2 * offset;
        for (int d = -4; d <= 4; ++d) {
            const int x = FOldX + d;
            if (x < 0 || x >= width || (d && !FDeepColours))
                continue;
            const uint32_t colour = FadeColour(bar, back, std::abs(d) * 2);
            for (int y = margin; y < height - margin; ++y)
                FTmpBits[static_cast<size_t>(y) * FTmpWidth + x] = colour;
        }
    }
    if (FPlain && focused) {
        RECT focus{3, 3, width - 3, height - 3};
        ::DrawFocusRect(dc, &focus);
        ::GdiFlush();
    }
    if (image >= 0 && image < 8) {
        const std::vector<uint32_t>& pixels = FImages[static_cast<size_t>(image)];
        for (int y = 0; !pixels.empty() && y < ImageSize; ++y)
            for (int x = 0; x < ImageSize; ++x) {
                const int tx = offset + 3 + x, ty = offset + 3 + y;
                if (tx >= width || ty >= height)
                    continue;
                uint32_t& below = FTmpBits[static_cast<size_t>(ty) * FTmpWidth + tx];
                below = BlendPixel(pixels[static_cast<size_t>(y) * ImageSize + x], below & 0xFFFFFF);
            }
    }
    wchar_t caption[256];
    const int length = ::GetWindowTextW(button, caption, 256);
    RECT measure{0, 0, 0, 0};
    ::DrawTextW(dc, caption, length, &measure, DT_CALCRECT | DT_SINGLELINE);
    const int tx = (width - measure.right - 35) / 2 + 27;
    const int ty = offset + 4;
    ::SetBkMode(dc, TRANSPARENT);
    if (disabled) {
        RECT r{tx + 1, ty + 1, width, height};
        ::SetTextColor(dc, RGB(255, 255, 255));
        ::DrawTextW(dc, caption, length, &r, DT_SINGLELINE);
        ::SetTextColor(dc, ::GetSysColor(COLOR_3DDKSHADOW));
    } else {
        ::SetTextColor(dc, FPlain ? ::GetSysColor(COLOR_BTNTEXT) : ColorRef(text));
    }
    RECT r{tx, ty, width, height};
    ::DrawTextW(dc, caption, length, &r, DT_SINGLELINE);
    ::BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, width, height, dc, 0, 0, SRCCOPY);
}

void TExceptionBox::PaintLinkLine(HDC dc)
{
    if (FLabelLine < 0)
        return;
    RECT client;
    ::GetClientRect(FMainWnd.Get(), &client);
    const int y = FLabelLine + 5;
    const uint32_t face = Rgb(::GetSysColor(COLOR_BTNFACE));
    const uint32_t shadow = Rgb(::GetSysColor(COLOR_3DDKSHADOW));
    const int length = std::max<int>(client.right - 5, 1); // x = 0 to client width - 6
    for (int x = 0; x < length; ++x) {
        uint32_t c = 0;
        for (int shift : {0, 8, 16}) {
            const int a = static_cast<int>((face >> shift) & 0xFF),
                      b = static_cast<int>((shadow >> shift) & 0xFF);
            c |= static_cast<uint32_t>(a + (b - a) * x / length) << shift;
        }
        ::SetPixelV(dc, x, y, ColorRef(c));
    }
    FNCLabelX = client.right - 15 - FNCLabelW;
    RECT label{FNCLabelX, FNCLabelY, FNCLabelX + FNCLabelW, FNCLabelY + FNCLabelH};
    const base::DcSelection font(dc, FFont3.Get());
    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
    ::SetBkMode(dc, OPAQUE);
    ::SetTextColor(dc, FNCLabelIn ? RGB(128, 0, 144) : ::GetSysColor(COLOR_3DDKSHADOW));
    ::DrawTextW(dc, LinkText, -1, &label, DT_SINGLELINE | DT_CENTER | DT_NOPREFIX);
}

void TExceptionBox::Fade(HWND button, int from, int to)
{
    const int index = IndexOf(button);
    if (index < 0 || FPlain || FDefaultMsgBox || FShuttingDown)
        return;
    if (!FSizingDone) {
        // The first focus is no change the user sees: the dialog appears with it at once.
        FFade[static_cast<size_t>(index)] = to;
        return;
    }
    const int step = to > from ? 1 : -1;
    for (int level = from; level != to;) {
        level += step;
        FFade[static_cast<size_t>(index)] = level;
        ::InvalidateRect(button, nullptr, FALSE);
        ::UpdateWindow(button);
        if (level != to)
            ::Sleep(10);
    }
    FLastFocusTime = ::GetTickCount();
}

void TExceptionBox::Flash(HWND button, int index)
{
    if (FPlain || FDefaultMsgBox)
        return;
    const int level = FFade[static_cast<size_t>(index)];
    if (index == bxShow) {
        Fade(button, level, FadeSteps);
    } else if (::GetTickCount() - FLastFocusTime > 200) {
        Fade(button, level, 0);
        ::Sleep(10);
        Fade(button, 0, FadeSteps);
    }
}

void TExceptionBox::Command(int index)
{
    StopCountdown();
    const HWND button = ButtonOf(index);
    if (button)
        Flash(button, index);
    IExceptionReport& exc = *FExc;
    const HWND parent = FMainWnd.Get();
    switch (index) {
    case bxShow:
        ShowDetails();
        break;
    case bxClose:
        exc.CloseApplication(parent);
        break;
    case bxContinue:
        if (exc.GetCanContinue())
            exc.ContinueApplication(parent);
        else
            exc.CloseApplication(parent);
        break;
    case bxRestart:
        exc.RestartApplication(parent);
        break;
    case bxSend:
        exc.SendBugReport(parent);
        break;
    case bxSave:
        exc.SaveBugReport(parent);
        break;
    case bxPrint:
        exc.PrintBugReport(parent);
        break;
    default:
        break;
    }
}

// The close box, Alt+F4 and Escape: what the focused-button setting names, else the mildest
// way out the dialog offers.
void TExceptionBox::CloseRequest()
{
    switch (FExc->GetFocusedButton()) {
    case bContinueApplication:
        return Command(bxContinue);
    case bRestartApplication:
        return Command(bxRestart);
    case bCloseApplication:
        return Command(bxClose);
    default:
        break;
    }
    if (FButtons[bxContinue] && FExc->GetCanContinue())
        Command(bxContinue);
    else if (FButtons[bxClose])
        Command(bxClose);
    else if (FButtons[bxRestart])
        Command(bxRestart);
    else
        FExc->CloseApplication(FMainWnd.Get());
}

void TExceptionBox::ShowDetails()
{
    bool handled = false;
    FireHandlerEvent(FMainWnd.Get(), heAction, eaShowBugReport, handled, *FExc);
    FReshow = true;
    Close();
}

void TExceptionBox::Close()
{
    FShuttingDown = true;
    StopCountdown();
    FView.reset();
    FPostTarget = nullptr;
    FMainWnd.Reset();
}

void TExceptionBox::CopyReport()
{
    const auto copy = PipelineServices().CopyToClipboard;
    if (!copy)
        return;
    copy(FExc->GetAutoShowBugReport() ? FExc->GetBugReport(false) : FExc->GetExceptMessage());
}

void TExceptionBox::ReportChanged(void* self, bool, const std::u16string&, IExceptionReport*)
{
    const HWND target = static_cast<TExceptionBox*>(self)->FPostTarget.load();
    if (target)
        ::PostMessageW(target, ReportChangedMessage, 1357, 2468);
}

RECT TExceptionBox::ViewRect() const
{
    RECT r{0, 0, 0, 0};
    if (!FTabs)
        return r;
    ::GetClientRect(FTabs, &r);
    TabCtrl_AdjustRect(FTabs, FALSE, &r);
    return r;
}

void TExceptionBox::RebuildTabs()
{
    if (!FTabs || FShuttingDown)
        return;
    FExc->GetBugReport(false); // the header and sections exist from here on
    const TReportParts parts = ReportParts();
    const std::vector<std::u16string> wanted = ReportTabNames(parts);
    bool changed = false;
    // Tabs no longer wanted go, missing ones are inserted at their position.
    for (int i = static_cast<int>(FTabNames.size()) - 1; i >= 0; --i) {
        if (std::find(wanted.begin(), wanted.end(), FTabNames[static_cast<size_t>(i)]) == wanted.end()) {
            TabCtrl_DeleteItem(FTabs, i);
            FTabNames.erase(FTabNames.begin() + i);
            changed = true;
        }
    }
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (i < FTabNames.size() && FTabNames[i] == wanted[i])
            continue;
        std::wstring text = Wide(wanted[i]);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        TabCtrl_InsertItem(FTabs, static_cast<int>(i), &item);
        FTabNames.insert(FTabNames.begin() + static_cast<std::ptrdiff_t>(i), wanted[i]);
        changed = true;
    }
    while (FTabNames.size() > wanted.size()) {
        TabCtrl_DeleteItem(FTabs, static_cast<int>(FTabNames.size()) - 1);
        FTabNames.pop_back();
        changed = true;
    }
    if (TabCtrl_GetCurSel(FTabs) < 0 && !FTabNames.empty())
        TabCtrl_SetCurSel(FTabs, 0);
    if (changed)
        ::InvalidateRect(FTabs, nullptr, TRUE);
    ShowTab(parts);
}

TReportParts TExceptionBox::ReportParts() const
{
    return {Pairs(FExc->GetBugReportHeader()), Pairs(FExc->GetBugReportSections())};
}

void TExceptionBox::ShowTab(const TReportParts& parts)
{
    if (!FTabs)
        return;
    const int tab = FShuttingDown ? -1 : TabCtrl_GetCurSel(FTabs);
    const TTabContent content = ReportTabContent(parts, tab);
    if (tab == FCurrentTab && content.Text == FCurrentTabContent && FView)
        return;
    FCurrentTab = tab;
    FCurrentTabContent = content.Text;
    FView.reset();
    if (tab < 0)
        return;
    // Held before it is created: the list asks the tab control for its row height meanwhile.
    FView = std::make_unique<TReportViewControl>(
        PrepareReportView(content), content.Text,
        TReportViewFonts{static_cast<HFONT>(FFont1.Get()), static_cast<HFONT>(FFont2.Get())}, FDeepColours);
    if (!FView->Create(FTabs, ViewRect(), ReporterModule()))
        FView.reset();
}

void TExceptionBox::Resize()
{
    if (!FSizingDone || !FMainWnd)
        return;
    RECT client;
    ::GetClientRect(FMainWnd.Get(), &client);
    const int grown = client.right - FClientWidthAtLayout;
    for (int b : {bxContinue, bxRestart, bxClose}) {
        if (!FButtons[b])
            continue;
        const TBoxRect& r = FRightEdgeRects[b];
        ::SetWindowPos(FButtons[b], nullptr, r.X + grown, r.Y, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (FTabs) {
        RECT tabs;
        ::GetWindowRect(FTabs, &tabs);
        ::MapWindowPoints(nullptr, FMainWnd.Get(), reinterpret_cast<POINT*>(&tabs), 2);
        ::SetWindowPos(FTabs, nullptr, 0, 0, client.right - 15, client.bottom - 6 - tabs.top,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (FView)
            FView->Move(ViewRect());
    }
    if (FLabelLine >= 0) {
        RECT line{0, FLabelLine, client.right, FLabelLine + 12};
        ::InvalidateRect(FMainWnd.Get(), &line, TRUE);
    }
}

bool TExceptionBox::PreTranslate(MSG& msg)
{
    const HWND wnd = FMainWnd.Get();
    if (!wnd)
        return false;
    if (msg.message == WM_KEYDOWN) {
        if (msg.wParam == VK_ESCAPE) {
            ::PostMessageW(wnd, WM_CLOSE, 0, 0);
            return true;
        }
        if (msg.wParam == VK_F1) {
            bool handled = false;
            FireHandlerEvent(wnd, heAction, eaHelp, handled, *FExc);
            return true;
        }
        if (msg.wParam == 'C' && ::GetKeyState(VK_CONTROL) < 0) {
            CopyReport();
            return true;
        }
    }
    if (msg.message == WM_NULL)
        RunSynchronizeCalls();
    // The report view keeps its own keys (arrows, page keys, selection).
    const HWND view = FView ? FView->Window() : nullptr;
    if (view && (msg.hwnd == view || ::IsChild(view, msg.hwnd)))
        return false;
    return ::IsDialogMessageW(wnd, &msg) != FALSE;
}

LRESULT CALLBACK TExceptionBox::DialogWndProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* box = reinterpret_cast<TExceptionBox*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (!box)
        return ::DefWindowProcW(wnd, msg, wparam, lparam);
    return Handled([&] { return box->DialogMessage(wnd, msg, wparam, lparam); });
}

LRESULT TExceptionBox::DialogMessage(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_COMMAND: {
        const int index = LOWORD(wparam) - FirstButtonId;
        if (index < 0 || index >= bxButtonCount || !FButtons[index])
            break;
        if (HIWORD(wparam) == BN_CLICKED) {
            Command(index);
        } else if (HIWORD(wparam) == BN_SETFOCUS || HIWORD(wparam) == BN_KILLFOCUS) {
            // The focus moving to another button stops the countdown; the dialog losing and
            // regaining it does not.
            if (HIWORD(wparam) == BN_SETFOCUS) {
                if (FSizingDone && FFocusedIndex != index)
                    StopCountdown();
                FFocusedIndex = index;
            }
            Fade(FButtons[index], FFade[index], HIWORD(wparam) == BN_SETFOCUS ? FadeSteps : 0);
        }
        return 0;
    }
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        if (item->CtlType != ODT_BUTTON)
            break;
        if (item->hwndItem == FIcoWnd)
            DrawIcon(*item);
        else
            DrawButton(*item);
        return TRUE;
    }
    case DM_GETDEFID: {
        // Enter presses the focused button; the default one while no button has the focus.
        const int focused = IndexOf(::GetFocus());
        const int id = focused >= 0 ? FirstButtonId + focused : FDefaultId;
        return id ? MAKELRESULT(id, DC_HASDEFID) : 0;
    }
    case WM_ACTIVATE:
        // The focus leaves with the dialog and comes back to the same control.
        if (LOWORD(wparam) == WA_INACTIVE) {
            const HWND focus = ::GetFocus();
            FSavedFocus = focus && ::IsChild(wnd, focus) ? focus : FSavedFocus;
        } else if (FSavedFocus && ::IsWindow(FSavedFocus)) {
            ::SetFocus(FSavedFocus);
        }
        return 0;
    case WM_TIMER:
        if (wparam == CountdownTimer)
            CountdownTick();
        return 0;
    case WM_CLOSE:
        CloseRequest();
        return 0;
    case WM_NULL:
        if (wparam == 777 && lparam == 777)
            Close();
        return 0;
    case CloseDialogMessage:
        Close();
        return 0;
    case ShowDetailsMessage:
        ShowDetails();
        return 0;
    case ReportChangedMessage:
        if (wparam == 1357 && lparam == 2468)
            RebuildTabs();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        const HDC dc = ::BeginPaint(wnd, &ps);
        PaintLinkLine(dc);
        ::EndPaint(wnd, &ps);
        return 0;
    }
    case WM_MOUSEMOVE: {
        const POINT p{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
        const bool in = FLabelLine >= 0 && p.x >= FNCLabelX && p.x < FNCLabelX + FNCLabelW &&
                        p.y >= FNCLabelY && p.y < FNCLabelY + FNCLabelH;
        if (in != FNCLabelIn) {
            FNCLabelIn = in;
            RECT label{FNCLabelX, FNCLabelY, FNCLabelX + FNCLabelW, FNCLabelY + FNCLabelH};
            ::InvalidateRect(wnd, &label, FALSE);
            if (in) {
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, wnd, 0};
                ::TrackMouseEvent(&track);
            }
        }
        return 0;
    }
    case WM_MOUSELEAVE:
        if (FNCLabelIn) {
            FNCLabelIn = false;
            ::InvalidateRect(wnd, nullptr, FALSE);
        }
        return 0;
    case WM_SETCURSOR:
        if (FNCLabelIn && reinterpret_cast<HWND>(wparam) == wnd) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_LBUTTONDOWN:
        if (FNCLabelIn)
            ::ShellExecuteW(wnd, L"open", LinkPage, nullptr, nullptr, SW_SHOWNORMAL);
        return 0;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
        info->ptMinTrackSize = {FMinWidth, FMinHeight};
        return 0;
    }
    case WM_SIZE:
        Resize();
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        if (header->hwndFrom == FTabs && header->code == TCN_SELCHANGE)
            ShowTab(ReportParts());
        return 0;
    }
    default:
        break;
    }
    return ::DefWindowProcW(wnd, msg, wparam, lparam);
}

// The tab control holds the report view, and passes on to it what the view tells its parent.
LRESULT CALLBACK TExceptionBox::TabsWndProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    auto* box = reinterpret_cast<TExceptionBox*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (!box || !box->FOldTabsWndProc)
        return ::DefWindowProcW(wnd, msg, wparam, lparam);
    return Handled([&]() -> LRESULT {
        LRESULT result = 0;
        const std::unique_ptr<TReportViewControl>& view = box->FView;
        if (view && view->ParentMessage(msg, wparam, lparam, result))
            return result;
        if (msg == WM_CTLCOLORSTATIC && view && reinterpret_cast<HWND>(lparam) == view->Window()) {
            // The read-only raw text on white, as a document.
            ::SetBkColor(reinterpret_cast<HDC>(wparam), RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
        }
        return ::CallWindowProcW(box->FOldTabsWndProc, wnd, msg, wparam, lparam);
    });
}

} // namespace

void ShowCrashDialog(IExceptionReport& report, ShowSetting show)
{
    bool sound = true;
    for (;;) {
        bool reshow = false;
        {
            TExceptionBox box(report, show != ssFullBox, show == ssDetailBox, sound);
            MSG msg;
            while (box.Window() && ::IsWindow(box.Window())) {
                const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
                if (got <= 0) {
                    if (got == 0)
                        ::PostQuitMessage(static_cast<int>(msg.wParam)); // for the loop outside
                    break;
                }
                if (box.PreTranslate(msg))
                    continue;
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            reshow = box.Reshow();
        }
        if (!reshow || (show != ssFullBox && show != ssDetailBox))
            return;
        report.SetAutoShowBugReport(true);
        report.SetAutoContinue(false);
        report.SetAutoRestart(0);
        report.SetAutoClose(0);
        show = ssFullBox;
        sound = false;
    }
}

} // namespace crash
