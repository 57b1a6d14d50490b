#include "crash/dialogs/progress_alert.h"

#include "base/com_object.h"
#include "base/win_handle.h"
#include "base/window_class.h"
#include "crash/dialogs/progress_position.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

namespace crash {

const GUID IID_IProgressAlert = {
    0x45B8448C, 0x47B8, 0x4F1C, {0x88, 0x6E, 0x95, 0xED, 0x5F, 0xD4, 0x1E, 0x5F}};

namespace {

constexpr int ImageSize = 32;
constexpr wchar_t WindowClass[] = L"prgrAlertWndClass";

struct TArea
{
    int64_t start;
    int64_t weight;
    std::wstring text;
};

class TIProgressAlert;

LRESULT CALLBACK AlertWndProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam);

class TIProgressAlert final : public base::ComObject<IProgressAlert>
{
public:
    TIProgressAlert(const std::wstring& title, HMODULE imageModule, const std::wstring& imageName)
        : FTitle(title), FBmpModule(imageModule), FBmpName(imageName)
    {
    }
    TIProgressAlert(const TIProgressAlert&) = delete;
    TIProgressAlert& operator=(const TIProgressAlert&) = delete;

    ~TIProgressAlert() override
    {
        Close();
        FPosEvent.Reset(); // frees the screen slot
        if (FTmpDC) {
            ::SelectObject(FTmpDC.Get(), FOldFont);
            FTmpDC.Reset();
        }
        FFont.Reset();
    }

    std::wstring STDMETHODCALLTYPE GetTitle() override { return FTitle; }
    void STDMETHODCALLTYPE SetTitle(const std::wstring& value) override
    {
        if (value == FTitle)
            return;
        FTitle = value;
        if (FMainWnd)
            ::SetWindowTextW(FMainWnd.Get(), FTitle.c_str());
    }

    int32_t STDMETHODCALLTYPE GetPosition() override { return FPosition; }
    void STDMETHODCALLTYPE SetPosition(int32_t value) override
    {
        FPosition = value;
        int32_t bar = value;
        if (FSum > 0 && FCurrentArea >= 0 && FCurrentArea < static_cast<int32_t>(FAreas.size())) {
            const TArea& area = FAreas[static_cast<size_t>(FCurrentArea)];
            bar = OverallPosition(area.start, area.weight, FSum, value);
        }
        if (!FBar)
            return;
        if (OwnedByCaller(FBar)) {
            ::SendMessageW(FBar, PBM_SETPOS, static_cast<WPARAM>(bar), 0);
            ProcessMessages();
        } else {
            ::PostMessageW(FBar, PBM_SETPOS, static_cast<WPARAM>(bar), 0);
        }
    }

    void STDMETHODCALLTYPE AddArea(int64_t weight, const std::wstring& text) override
    {
        const std::wstring shown = text.empty() && !FAreas.empty() ? FAreas.back().text : text;
        FAreas.push_back({FSum, weight, shown});
        FSum += weight;
        if (FAreas.size() == 1 && FLabel)
            ::SetWindowTextW(FLabel, shown.c_str());
    }

    void STDMETHODCALLTYPE ClearAreas() override
    {
        FAreas.clear();
        FCurrentArea = 0;
        FSum = 0;
    }

    void STDMETHODCALLTYPE AreaDone() override { SetCurrentArea(FCurrentArea + 1); }
    int32_t STDMETHODCALLTYPE GetCurrentArea() override { return FCurrentArea; }
    void STDMETHODCALLTYPE SetCurrentArea(int32_t value) override
    {
        const int32_t count = static_cast<int32_t>(FAreas.size());
        if (value == FCurrentArea || value < 0 || value > count)
            return;
        if (value == count) {
            FCurrentArea = count - 1;
            SetPosition(1000);
        } else {
            FCurrentArea = value;
            SetPosition(0);
        }
        if (FCurrentArea >= 0 && FCurrentArea < count && FLabel)
            ::SetWindowTextW(FLabel, FAreas[static_cast<size_t>(FCurrentArea)].text.c_str());
    }

    void STDMETHODCALLTYPE ProcessMessages() override
    {
        if (!FMainWnd || !OwnedByCaller(FMainWnd.Get()))
            return;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }

    bool STDMETHODCALLTYPE Show(HWND parentWindow, bool activate) override;
    void STDMETHODCALLTYPE Close() override;

    void PaintImage(HDC dc);

private:
    static bool OwnedByCaller(HWND wnd)
    {
        return ::GetWindowThreadProcessId(wnd, nullptr) == ::GetCurrentThreadId();
    }
    const void* ImageResource(DWORD& size) const;
    void CreateFontAndDc();
    void Place(int width, int height, bool activate);

    HWND FParentWindow = nullptr;
    std::wstring FTitle;
    base::MemoryDc FTmpDC;
    base::GdiObject FFont;
    HGDIOBJ FOldFont = nullptr;
    base::Window FMainWnd;
    HWND FBmpWnd = nullptr;
    HWND FLabel = nullptr;
    HWND FBar = nullptr;
    std::vector<TArea> FAreas;
    int64_t FSum = 0;
    int32_t FCurrentArea = 0;
    int32_t FPosition = 0;
    HMODULE FBmpModule;
    std::wstring FBmpName;
    base::KernelHandle FPosEvent;
    int FSlot = 0; // the screen slot that FPosEvent holds
};

const void* TIProgressAlert::ImageResource(DWORD& size) const
{
    size = 0;
    if (!FBmpModule || FBmpName.empty())
        return nullptr;
    HRSRC info = ::FindResourceW(FBmpModule, FBmpName.c_str(), MAKEINTRESOURCEW(2)); // RT_BITMAP
    HGLOBAL loaded = info ? ::LoadResource(FBmpModule, info) : nullptr;
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (data)
        size = ::SizeofResource(FBmpModule, info);
    return data;
}

void TIProgressAlert::CreateFontAndDc()
{
    if (FTmpDC)
        return;
    LOGFONTW lf{};
    lf.lfHeight = -11;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpyW(lf.lfFaceName, L"Tahoma");
    FFont.Reset(::CreateFontIndirectW(&lf));
    if (!FFont) {
        lf.lfHeight = -12;
        lstrcpyW(lf.lfFaceName, L"MS Sans Serif");
        FFont.Reset(::CreateFontIndirectW(&lf));
    }
    base::WindowDc screen(nullptr);
    FTmpDC.Reset(::CreateCompatibleDC(screen.Get()));
    FOldFont = ::SelectObject(FTmpDC.Get(), FFont.Get());
}

bool TIProgressAlert::Show(HWND parentWindow, bool activate)
{
    if (FMainWnd)
        return false;
    FParentWindow = parentWindow;
    if (FParentWindow)
        ::EnableWindow(FParentWindow, FALSE);
    if (FAreas.empty())
        AddArea(1000, L"Please wait...");

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_CLASSDC | CS_PARENTDC;
    wc.lpfnWndProc = &AlertWndProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = WindowClass;
    FMainWnd.Reset(::CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
                                     base::RegisteredClass(wc), FTitle.c_str(), WS_CAPTION, 0, 0, 100, 100,
                                     FParentWindow, nullptr, ::GetModuleHandleW(nullptr), nullptr));
    if (!FMainWnd) {
        if (FParentWindow)
            ::EnableWindow(FParentWindow, TRUE);
        return false;
    }
    HMENU menu = ::GetSystemMenu(FMainWnd.Get(), FALSE);
    for (UINT command : {SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE, SC_SIZE})
        ::DeleteMenu(menu, command, MF_BYCOMMAND);

    CreateFontAndDc();
    int w = 0, h = 0;
    for (size_t i = static_cast<size_t>(std::max(FCurrentArea, 0)); i < FAreas.size(); ++i) {
        RECT r{0, 0, 420, 0};
        ::DrawTextW(FTmpDC.Get(), FAreas[i].text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK);
        w = std::max<int>(w, r.right - r.left);
        h = std::max<int>(h, r.bottom - r.top);
    }
    DWORD imageSize = 0;
    const bool hasImage = ImageResource(imageSize) != nullptr;
    if (hasImage) {
        w += 40;
        FBmpWnd = ::CreateWindowExW(0, L"Button", L"", WS_CHILD | WS_VISIBLE | WS_DISABLED | BS_OWNERDRAW, 9,
                                    9, ImageSize, ImageSize, FMainWnd.Get(), nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
        ::SetWindowLongPtrW(FBmpWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    w = std::max(w, 220);
    int labelX = 11, labelY = 12;
    if (hasImage) {
        labelX = 51;
        if (h < 26) {
            labelY = 12 + (26 - h) / 2;
            h = 26;
        }
    }
    const std::wstring& text = FCurrentArea < static_cast<int32_t>(FAreas.size())
                                   ? FAreas[static_cast<size_t>(FCurrentArea)].text
                                   : L"";
    FLabel = ::CreateWindowExW(0, L"Static", text.c_str(), WS_CHILD | WS_VISIBLE, labelX, labelY, w, h,
                               FMainWnd.Get(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(FLabel, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Get()), FALSE);
    const int barHeight = ::GetSystemMetrics(SM_CYVSCROLL);
    FBar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 11, h + 24, w, barHeight,
                             FMainWnd.Get(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(FBar, PBM_SETRANGE32, 0, 1000);

    const int width = w + 22 + 2 * ::GetSystemMetrics(SM_CXDLGFRAME);
    const int height =
        h + 24 + barHeight + 12 + ::GetSystemMetrics(SM_CYSMCAPTION) + 2 * ::GetSystemMetrics(SM_CYDLGFRAME);
    if (::IsIconic(FMainWnd.Get()))
        ::ShowWindow(FMainWnd.Get(), SW_RESTORE);
    Place(width, height, activate);
    SetPosition(FPosition);
    return true;
}

void TIProgressAlert::Place(int width, int height, bool activate)
{
    if (activate) {
        const int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        const int y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
        ::SetWindowPos(FMainWnd.Get(), nullptr, x, y, width, height, SWP_NOZORDER);
        ::ShowWindow(FMainWnd.Get(), SW_SHOWNORMAL);
        ::BringWindowToTop(FMainWnd.Get());
        ::SetForegroundWindow(FMainWnd.Get());
        return;
    }
    RECT work;
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        work.right = ::GetSystemMetrics(SM_CXFULLSCREEN);
        work.bottom = ::GetSystemMetrics(SM_CYFULLSCREEN) + ::GetSystemMetrics(SM_CYCAPTION);
    }
    // Screen slots shared by the alerts of all processes: they stack upwards from the
    // bottom-right corner instead of covering each other. A slot is held until the alert is
    // destroyed, so an alert shown again returns to its own slot.
    for (int slot = 0; slot < 8 && !FPosEvent; ++slot) {
        const std::wstring name = L"vexProgressAlertPos" + std::to_wstring(slot);
        base::KernelHandle event(::CreateEventW(nullptr, FALSE, FALSE, name.c_str()));
        if (event && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            FPosEvent = std::move(event);
            FSlot = slot;
        }
    }
    work.bottom -= FSlot * height;
    ::SetWindowPos(FMainWnd.Get(), nullptr, work.right - width - 2, work.bottom - height - 2, width, height,
                   SWP_NOACTIVATE | SWP_NOZORDER);
    ::ShowWindow(FMainWnd.Get(), SW_SHOWNOACTIVATE);
}

void TIProgressAlert::Close()
{
    if (!FMainWnd)
        return;
    if (FBmpWnd)
        ::SetWindowLongPtrW(FBmpWnd, GWLP_USERDATA, 0);
    if (OwnedByCaller(FMainWnd.Get())) {
        FMainWnd.Reset();
    } else {
        // A window is destroyed only by its own thread: the alert closes itself there, and
        // only it can unlock its close request.
        const HWND wnd = FMainWnd.Release();
        ::SetWindowLongPtrW(wnd, GWLP_USERDATA, 1);
        ::SendMessageW(wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    FBmpWnd = FLabel = FBar = nullptr;
    if (FParentWindow) {
        ::EnableWindow(FParentWindow, TRUE);
        ::SetActiveWindow(FParentWindow);
    }
}

void TIProgressAlert::PaintImage(HDC dc)
{
    DWORD size = 0;
    const auto* data = static_cast<const BYTE*>(ImageResource(size));
    if (!data || size != 40 + ImageSize * ImageSize * 4)
        return;
    BITMAPINFO info{};
    std::memcpy(&info.bmiHeader, data, 40);
    std::vector<uint32_t> pixels(ImageSize * ImageSize);
    std::memcpy(pixels.data(), data + 40, pixels.size() * 4);
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    const uint32_t back = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
    for (uint32_t& p : pixels)
        p = BlendPixel(p, back);
    const base::DibSection section(info);
    if (!section.Valid())
        return;
    ::GdiFlush();
    std::memcpy(section.Bits(), pixels.data(), pixels.size() * 4);
    ::BitBlt(dc, 0, 0, ImageSize, ImageSize, section.Dc(), 0, 0, SRCCOPY);
}

LRESULT CALLBACK AlertWndProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        auto* alert = reinterpret_cast<TIProgressAlert*>(::GetWindowLongPtrW(item->hwndItem, GWLP_USERDATA));
        if (alert) {
            try {
                alert->PaintImage(item->hDC);
                return TRUE;
            } catch (...) {
            }
        }
        break;
    }
    case WM_CLOSE:
        if (::GetWindowLongPtrW(wnd, GWLP_USERDATA) == 0)
            return 0;
        break;
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) == SC_CLOSE && ::GetWindowLongPtrW(wnd, GWLP_USERDATA) == 0)
            return 0;
        break;
    default:
        break;
    }
    return ::DefWindowProcW(wnd, msg, wparam, lparam);
}

} // namespace

base::ComPtr<IProgressAlert> CreateProgressAlert(const std::wstring& title, HMODULE imageModule,
                                                 const std::wstring& imageName)
{
    return base::ComPtr<IProgressAlert>::Adopt(new TIProgressAlert(title, imageModule, imageName));
}

} // namespace crash
