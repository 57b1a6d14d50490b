#include "crash/imaging/vx_bitmap.h"

#include "base/win_handle.h"

#include <gtest/gtest.h>

#include <cstring>

namespace crash {
namespace {

std::wstring TempFile(const wchar_t* name)
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + name;
}

void Pump()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageW(&msg);
}

TEST(VxBitmap, SaveLoadZoomAndFormats)
{
    base::ComPtr<IVxBitmap> b = NewVxBitmap(80, 60);
    ASSERT_TRUE(b);
    IVxBitmap* queried = nullptr;
    ASSERT_EQ(b->QueryInterface(IID_IVxBitmap, reinterpret_cast<void**>(&queried)), S_OK);
    queried->Release();
    const RECT left{0, 0, 40, 60}, right{40, 0, 80, 60};
    base::GdiObject red(::CreateSolidBrush(RGB(255, 0, 0))), blue(::CreateSolidBrush(RGB(0, 0, 255)));
    ::FillRect(b->DC(), &left, static_cast<HBRUSH>(red.Get()));
    ::FillRect(b->DC(), &right, static_cast<HBRUSH>(blue.Get()));

    EXPECT_EQ(b->AsBmpStr().size(), 54u + 80 * 60 * 4);
    const std::wstring bmp = TempFile(L"lumigate-vx.bmp");
    ASSERT_TRUE(b->SaveBmp(bmp));
    base::ComPtr<IVxBitmap> loaded = LoadBitmapFile(bmp);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->GetWidth(), 80);
    EXPECT_EQ(loaded->GetHeight(), 60);
    EXPECT_EQ(::GetPixel(loaded->DC(), 10, 10), RGB(255, 0, 0));
    EXPECT_EQ(::GetPixel(loaded->DC(), 70, 50), RGB(0, 0, 255));
    ::DeleteFileW(bmp.c_str());
    EXPECT_FALSE(LoadBitmapFile(TempFile(L"no-such-file.bmp")));

    base::ComPtr<IVxBitmap> small = b->Zoom(20, 20);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->GetWidth(), 20);
    EXPECT_EQ(small->GetHeight(), 15);
    EXPECT_EQ(::GetPixel(small->DC(), 2, 7), RGB(255, 0, 0));

    const std::wstring png = TempFile(L"lumigate-vx.png");
    ASSERT_TRUE(b->SavePng(png, pf256Colors));
    EXPECT_EQ(::GetPixel(b->DC(), 10, 10), RGB(255, 0, 0)); // colour PNG leaves the pixels alone
    ASSERT_TRUE(b->SavePng(png, pf16Grays));
    EXPECT_EQ(::GetPixel(b->DC(), 10, 10), RGB(76, 76, 76)); // the grey PNG made the bitmap grey
    ::DeleteFileW(png.c_str());
    // A file that can't be created: false, nothing left behind.
    EXPECT_FALSE(b->SaveBmp(TempFile(L"no-such-folder\\x.bmp")));
}

TEST(VxBitmap, ScreenAndApplicationWindowCapture)
{
    base::ComPtr<IVxBitmap> screen = CaptureScreenShot(false);
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->GetWidth(), ::GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(screen->GetHeight(), ::GetSystemMetrics(SM_CYVIRTUALSCREEN));

    // Without a visible window of this process there is nothing to capture.
    EXPECT_FALSE(CaptureScreenShot(true));

    base::Window wnd(::CreateWindowExW(WS_EX_TOPMOST, L"Static", L"", WS_POPUP | WS_VISIBLE | SS_BLACKRECT,
                                       100, 100, 120, 80, nullptr, nullptr, nullptr, nullptr));
    base::Window other(::CreateWindowExW(WS_EX_TOPMOST, L"Static", L"", WS_POPUP | WS_VISIBLE | SS_BLACKRECT,
                                         300, 100, 50, 80, nullptr, nullptr, nullptr, nullptr));
    Pump();
    base::ComPtr<IVxBitmap> app = CaptureScreenShot(true);
    ASSERT_TRUE(app);
    // The union of the two windows; the gap between them stays white.
    EXPECT_EQ(app->GetWidth(), 250);
    EXPECT_EQ(app->GetHeight(), 80);
    EXPECT_EQ(::GetPixel(app->DC(), 160, 40), RGB(255, 255, 255));
    const COLORREF own = ::GetPixel(app->DC(), 20, 40);
    EXPECT_NE(own, RGB(255, 255, 255));

    // Another process's window over part of the application's window: that part is white.
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    wchar_t command[] = L"notepad.exe";
    ASSERT_TRUE(::CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    base::KernelHandle process(pi.hProcess), thread(pi.hThread);
    ::WaitForInputIdle(process.Get(), 10000);
    HWND notepad = nullptr;
    for (int i = 0; i < 100 && !notepad; ++i) {
        for (HWND w = ::FindWindowW(L"Notepad", nullptr); w;
             w = ::FindWindowExW(nullptr, w, L"Notepad", nullptr)) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(w, &owner);
            if (owner == pi.dwProcessId)
                notepad = w;
        }
        if (!notepad)
            ::Sleep(50);
    }
    ASSERT_NE(notepad, nullptr);
    // Notepad may still place itself while it starts: repeat until the place holds.
    RECT placed{};
    for (int i = 0; i < 30; ++i) {
        ::SetWindowPos(notepad, HWND_TOPMOST, 160, 100, 300, 200, SWP_SHOWWINDOW | SWP_NOACTIVATE);
        ::Sleep(100);
        Pump();
        ::GetWindowRect(notepad, &placed);
        if (placed.left == 160 && placed.top == 100 && placed.right == 460)
            break;
    }
    ASSERT_EQ(placed.left, 160);
    app = CaptureScreenShot(true);
    base::ComPtr<IVxBitmap> whole = CaptureScreenShot(false);
    ::TerminateProcess(process.Get(), 0);
    ::WaitForSingleObject(process.Get(), 5000);
    ASSERT_TRUE(app);
    EXPECT_EQ(app->GetWidth(), 250);
    // Notepad's caption lies over the application's window: on the screen it isn't white,
    // in the application-only picture it is.
    ASSERT_TRUE(whole);
    EXPECT_NE(::GetPixel(whole->DC(), 190 - ::GetSystemMetrics(SM_XVIRTUALSCREEN),
                         105 - ::GetSystemMetrics(SM_YVIRTUALSCREEN)),
              RGB(255, 255, 255));
    EXPECT_EQ(::GetPixel(app->DC(), 90, 5), RGB(255, 255, 255));
    EXPECT_EQ(::GetPixel(app->DC(), 90, 40), RGB(255, 255, 255));

    ::ShowWindow(wnd.Get(), SW_HIDE);
    ::ShowWindow(other.Get(), SW_MINIMIZE);
    Pump();
    EXPECT_FALSE(CaptureScreenShot(true)); // hidden and minimised: no screenshot
}

TEST(VxBitmap, DamagedBitmapFilesNeverCrash)
{
    base::ComPtr<IVxBitmap> b = NewVxBitmap(33, 17);
    const std::string valid = b->AsBmpStr();
    const std::wstring file = TempFile(L"lumigate-damaged.bmp");
    const std::string cases[] = {std::string(),
                                 std::string("BM"),
                                 valid.substr(0, 30),
                                 valid.substr(0, 54),
                                 valid.substr(0, valid.size() / 2),
                                 std::string(5000, '\xA5'),
                                 "BM" + std::string(valid.size(), '\xFF')};
    for (const std::string& bytes : cases) {
        {
            base::FileHandle out(
                ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            DWORD written = 0;
            ::WriteFile(out.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        }
        base::ComPtr<IVxBitmap> loaded = LoadBitmapFile(file);
        if (loaded) { // a truncated file may still be read as far as it goes
            EXPECT_EQ(loaded->GetWidth(), 33) << bytes.size();
            EXPECT_EQ(loaded->GetHeight(), 17) << bytes.size();
        }
    }
    ::DeleteFileW(file.c_str());
}

} // namespace
} // namespace crash
