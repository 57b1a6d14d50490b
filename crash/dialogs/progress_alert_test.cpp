#include "crash/dialogs/progress_alert.h"

#include "base/win_handle.h"
#include "crash/imaging/vx_bitmap.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace crash {
namespace {

// Run as "progress_alert_test --alert-child": shows a corner alert until told to quit, for
// the test of the screen slots shared between processes. Runs before the tests' main.
const bool ChildRun = [] {
    if (!wcsstr(::GetCommandLineW(), L"--alert-child"))
        return false;
    auto alert = CreateProgressAlert(L"Child alert", nullptr, L"");
    alert->Show(nullptr, false);
    base::KernelHandle ready(::CreateEventW(nullptr, TRUE, FALSE, L"LumigateAlertChildReady"));
    base::KernelHandle quit(::CreateEventW(nullptr, TRUE, FALSE, L"LumigateAlertChildQuit"));
    ::SetEvent(ready.Get());
    for (int i = 0; i < 400 && ::WaitForSingleObject(quit.Get(), 25) == WAIT_TIMEOUT; ++i)
        alert->ProcessMessages();
    alert->Close();
    alert.Reset();
    ::ExitProcess(0);
}();

HWND AlertWindow(DWORD pid = ::GetCurrentProcessId())
{
    for (HWND w = ::FindWindowW(L"prgrAlertWndClass", nullptr); w;
         w = ::FindWindowExW(nullptr, w, L"prgrAlertWndClass", nullptr)) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(w, &owner);
        if (owner == pid && ::IsWindowVisible(w))
            return w;
    }
    return nullptr;
}

RECT ChildRect(HWND parent, HWND child)
{
    RECT r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

int BarPosition(HWND alert)
{
    HWND bar = ::FindWindowExW(alert, nullptr, PROGRESS_CLASSW, nullptr);
    return static_cast<int>(::SendMessageW(bar, PBM_GETPOS, 0, 0));
}

std::wstring Text(HWND wnd)
{
    wchar_t text[256] = {};
    ::GetWindowTextW(wnd, text, 256);
    return text;
}

void Pump()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// The window as it is on the screen, kept in the artifacts folder (a Unix path, reached
// through Wine's Z: drive) for the README's picture.
void SaveForReadme(HWND wnd, const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"LUMIGATE_ARTIFACTS", folder, MAX_PATH))
        return;
    std::wstring path = std::wstring(folder[0] == L'/' ? L"Z:" : L"") + folder + L"/" + name;
    for (wchar_t& c : path)
        c = c == L'/' ? L'\\' : c;
    RECT r;
    ::GetWindowRect(wnd, &r);
    const base::ComPtr<crash::IVxBitmap> shot = crash::NewVxBitmap(r.right - r.left, r.bottom - r.top);
    const base::WindowDc screen(nullptr);
    if (shot &&
        ::BitBlt(shot->DC(), 0, 0, shot->GetWidth(), shot->GetHeight(), screen.Get(), r.left, r.top, SRCCOPY))
        shot->SaveBmp(path);
}

TEST(ProgressAlert, AreasPositionsAndTheCurrentArea)
{
    auto alert = CreateProgressAlert(L"Title", nullptr, L"");
    IProgressAlert* queried = nullptr;
    ASSERT_EQ(alert->QueryInterface(IID_IProgressAlert, reinterpret_cast<void**>(&queried)), S_OK);
    queried->Release();
    alert->AddArea(100, L"first");
    alert->AddArea(300, L"");
    alert->AddArea(600, L"third");
    EXPECT_EQ(alert->GetCurrentArea(), 0);
    alert->SetCurrentArea(0); // the current one: ignored
    alert->SetCurrentArea(-1);
    alert->SetCurrentArea(4);
    EXPECT_EQ(alert->GetCurrentArea(), 0);
    alert->SetPosition(1500); // stored, not clamped
    EXPECT_EQ(alert->GetPosition(), 1500);
    alert->AreaDone();
    EXPECT_EQ(alert->GetCurrentArea(), 1);
    EXPECT_EQ(alert->GetPosition(), 0);
    alert->SetCurrentArea(3); // one past the last: the last, done
    EXPECT_EQ(alert->GetCurrentArea(), 2);
    EXPECT_EQ(alert->GetPosition(), 1000);
    alert->AreaDone();
    EXPECT_EQ(alert->GetCurrentArea(), 2);
    alert->ClearAreas();
    EXPECT_EQ(alert->GetCurrentArea(), 0);
    EXPECT_EQ(alert->GetPosition(), 1000);
}

TEST(ProgressAlert, ShownTopmostWithTextAndBarAndNotClosableByTheUser)
{
    base::Window parent(::CreateWindowExW(0, L"Static", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                                          200, nullptr, nullptr, nullptr, nullptr));
    auto alert = CreateProgressAlert(L"Sending bug report...", nullptr, L"");
    alert->AddArea(100, L"Preparing attachments...");
    alert->AddArea(300, L"Connecting to server...");
    alert->AddArea(600, L"");
    ASSERT_TRUE(alert->Show(parent.Get(), true));
    EXPECT_FALSE(alert->Show(parent.Get(), true));
    HWND wnd = AlertWindow();
    ASSERT_NE(wnd, nullptr);
    EXPECT_FALSE(::IsWindowEnabled(parent.Get()));
    EXPECT_TRUE(::GetWindowLongW(wnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(Text(wnd), L"Sending bug report...");
    HWND label = ::FindWindowExW(wnd, nullptr, L"Static", nullptr);
    EXPECT_EQ(Text(label), L"Preparing attachments...");
    EXPECT_EQ(BarPosition(wnd), 0);

    alert->SetPosition(500);
    EXPECT_EQ(BarPosition(wnd), 50);
    alert->AreaDone();
    alert->SetPosition(500);
    EXPECT_EQ(BarPosition(wnd), 250);
    EXPECT_EQ(Text(label), L"Connecting to server...");
    alert->AreaDone();
    EXPECT_EQ(Text(label), L"Connecting to server..."); // an empty text repeats the one before
    alert->AreaDone();
    EXPECT_EQ(BarPosition(wnd), 1000);
    alert->SetTitle(L"Finalizing...");
    EXPECT_EQ(Text(wnd), L"Finalizing...");

    // No close box, and close requests are swallowed.
    EXPECT_FALSE(::GetWindowLongW(wnd, GWL_STYLE) & WS_SYSMENU);
    ::SendMessageW(wnd, WM_CLOSE, 0, 0);
    ::SendMessageW(wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    ::SendMessageW(wnd, WM_SYSKEYDOWN, VK_F4, 1 << 29);
    Pump();
    EXPECT_TRUE(::IsWindow(wnd));

    alert->Close();
    EXPECT_FALSE(::IsWindow(wnd));
    EXPECT_TRUE(::IsWindowEnabled(parent.Get()));
    alert->Close(); // nothing left to close
}

TEST(ProgressAlert, WithoutAreasAndWithAnImageBesideAOneLineText)
{
    auto alert = CreateProgressAlert(L"Information", ::GetModuleHandleW(nullptr), L"ALERTIMAGE");
    ASSERT_TRUE(alert->Show(nullptr, true));
    HWND wnd = AlertWindow();
    ASSERT_NE(wnd, nullptr);
    HWND label = ::FindWindowExW(wnd, nullptr, L"Static", nullptr);
    EXPECT_EQ(Text(label), L"Please wait...");
    const RECT text = ChildRect(wnd, label);
    EXPECT_EQ(text.left, 51);
    EXPECT_EQ(text.bottom - text.top, 26);
    EXPECT_GE(text.right - text.left, 220);
    const RECT bar = ChildRect(wnd, ::FindWindowExW(wnd, nullptr, PROGRESS_CLASSW, nullptr));
    EXPECT_EQ(bar.top, 50);
    const RECT image = ChildRect(wnd, ::FindWindowExW(wnd, nullptr, L"Button", nullptr));
    EXPECT_EQ(image.left, 9);
    EXPECT_EQ(image.right - image.left, 32);
    Pump();
    ::Sleep(200);
    Pump();
    SaveForReadme(wnd, L"progress-alert.bmp");
    alert->Close();
}

TEST(ProgressAlert, DrivenFromAWorkerAndReleasedThereLast)
{
    auto alert = CreateProgressAlert(L"Worker", nullptr, L"");
    alert->AddArea(500, L"one");
    alert->AddArea(500, L"two");
    ASSERT_TRUE(alert->Show(nullptr, false));
    HWND wnd = AlertWindow();
    std::atomic<bool> done{false};
    IProgressAlert* raw = alert.Get();
    raw->AddRef();
    alert.Reset(); // the worker holds the last reference
    std::thread worker([raw, &done] {
        raw->SetPosition(500);
        raw->ProcessMessages(); // not the window's thread: does nothing
        raw->AreaDone();
        raw->SetPosition(1000);
        raw->Close();
        raw->Release();
        done = true;
    });
    const DWORD start = ::GetTickCount();
    while (!done && ::GetTickCount() - start < 5000) {
        Pump();
        ::Sleep(5);
    }
    worker.join();
    Pump();
    EXPECT_TRUE(done);
    EXPECT_FALSE(::IsWindow(wnd));
}

TEST(ProgressAlert, CornerAlertsTakeDifferentScreenSlots)
{
    auto first = CreateProgressAlert(L"First", nullptr, L"");
    auto second = CreateProgressAlert(L"Second", nullptr, L"");
    ASSERT_TRUE(first->Show(nullptr, false));
    RECT a;
    ::GetWindowRect(AlertWindow(), &a);
    ASSERT_TRUE(second->Show(nullptr, false));
    RECT b{};
    for (HWND w = ::FindWindowW(L"prgrAlertWndClass", L"Second"); w; w = nullptr)
        ::GetWindowRect(w, &b);
    EXPECT_EQ(b.top, a.top - (a.bottom - a.top)); // directly above
    EXPECT_EQ(b.left, a.left);
    // Shown again, an alert returns to the slot it holds.
    second->Close();
    ASSERT_TRUE(second->Show(nullptr, false));
    RECT again{};
    for (HWND w = ::FindWindowW(L"prgrAlertWndClass", L"Second"); w; w = nullptr)
        ::GetWindowRect(w, &again);
    EXPECT_EQ(again.top, b.top);
    second.Reset();
    first.Reset();

    // Another process's alert holds its slot too.
    wchar_t exe[MAX_PATH];
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --alert-child";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(
        ::CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    base::KernelHandle process(pi.hProcess), thread(pi.hThread);
    base::KernelHandle ready(::CreateEventW(nullptr, TRUE, FALSE, L"LumigateAlertChildReady"));
    base::KernelHandle quit(::CreateEventW(nullptr, TRUE, FALSE, L"LumigateAlertChildQuit"));
    ASSERT_EQ(::WaitForSingleObject(ready.Get(), 10000), WAIT_OBJECT_0);
    RECT child;
    ASSERT_TRUE(::GetWindowRect(AlertWindow(pi.dwProcessId), &child));
    auto mine = CreateProgressAlert(L"Mine", nullptr, L"");
    ASSERT_TRUE(mine->Show(nullptr, false));
    RECT own;
    ::GetWindowRect(AlertWindow(), &own);
    EXPECT_LT(own.bottom, child.bottom);
    EXPECT_EQ(own.top, child.top - (child.bottom - child.top));
    ::SetEvent(quit.Get());
    EXPECT_EQ(::WaitForSingleObject(process.Get(), 10000), WAIT_OBJECT_0);
}

} // namespace
} // namespace crash
