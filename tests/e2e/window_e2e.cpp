// Starts the real lumigate.exe, waits for its window, checks its size and caption, takes a
// screenshot of it (BMP) and closes it; the exe must end with exit code 0.
// Arguments: the exe's path (a Unix path is taken through Wine's Z: drive), the BMP's path.

#include "app/language.h"
#include "app/texts.h"
#include "base/win_handle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::wstring ExePath, ShotPath;

std::wstring WindowsPath(const char* path)
{
    std::wstring out;
    for (const char* p = path; *p; ++p)
        out += *p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return path[0] == '/' ? L"Z:" + out : out;
}

struct Found
{
    DWORD Pid;
    HWND Wnd;
};

BOOL CALLBACK MatchWindow(HWND wnd, LPARAM param)
{
    auto* f = reinterpret_cast<Found*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(wnd, &owner);
    wchar_t cls[64] = {};
    ::GetClassNameW(wnd, cls, 64);
    if (owner == f->Pid && ::IsWindowVisible(wnd) && std::wstring(cls) == L"LumigateForm") {
        f->Wnd = wnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindProcessWindow(DWORD pid)
{
    Found found{pid, nullptr};
    ::EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&found));
    return found.Wnd;
}

// The window as it is on the screen, as a 24-bit bottom-up BMP file.
bool SaveScreenshot(HWND wnd, const std::wstring& path)
{
    RECT r;
    ::GetWindowRect(wnd, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    base::WindowDc screen(nullptr);
    base::MemoryDc dc(::CreateCompatibleDC(screen.Get()));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    base::GdiObject bitmap(::CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dc || !bitmap)
        return false;
    {
        base::DcSelection select(dc.Get(), bitmap.Get());
        ::BitBlt(dc.Get(), 0, 0, w, h, screen.Get(), r.left, r.top, SRCCOPY);
    }
    ::GdiFlush();
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    const DWORD size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER file{0x4D42,
                          static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + size), 0,
                          0, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER))};
    info.bmiHeader.biSizeImage = size;
    base::FileHandle out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0, total = 0;
    bool ok = out.Valid();
    ok = ok && ::WriteFile(out.Get(), &file, sizeof(file), &written, nullptr) && (total += written);
    ok = ok && ::WriteFile(out.Get(), &info.bmiHeader, sizeof(info.bmiHeader), &written, nullptr) &&
         (total += written);
    ok = ok && ::WriteFile(out.Get(), bits, size, &written, nullptr) && (total += written);
    return ok && total == file.bfSize;
}

TEST(ShippedExe, ShowsTheDownloadWindowAndEndsWithExitCodeZeroWhenClosed)
{
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + ExePath + L"\"";
    ASSERT_TRUE(::CreateProcessW(ExePath.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &si, &pi))
        << ::GetLastError();
    base::KernelHandle process(pi.hProcess), thread(pi.hThread);

    HWND wnd = nullptr;
    for (int i = 0; i < 200 && !wnd; ++i) {
        wnd = FindProcessWindow(pi.dwProcessId);
        if (!wnd)
            ::Sleep(50);
    }
    ASSERT_NE(wnd, nullptr) << "no window appeared";
    ::WaitForInputIdle(process.Get(), 5000);
    ::Sleep(300); // let the first paint reach the screen

    RECT client;
    ::GetClientRect(wnd, &client);
    EXPECT_EQ(client.right, 445);
    EXPECT_EQ(client.bottom, 592);
    wchar_t caption[100] = {};
    ::GetWindowTextW(wnd, caption, 100);
    EXPECT_EQ(caption, app::WindowTexts(app::SystemLanguage(), L"Orvella").Caption);
    EXPECT_TRUE(SaveScreenshot(wnd, ShotPath));

    ::PostMessageW(wnd, WM_CLOSE, 0, 0);
    ASSERT_EQ(::WaitForSingleObject(process.Get(), 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(process.Get(), &code);
    EXPECT_EQ(code, 0u);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: window_e2e EXE SCREENSHOT.bmp\n");
        return 2;
    }
    ExePath = WindowsPath(argv[1]);
    ShotPath = WindowsPath(argv[2]);
    return RUN_ALL_TESTS();
}
