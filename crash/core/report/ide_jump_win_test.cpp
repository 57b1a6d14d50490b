// A stack line reaches the development environment's add-in window, as the add-in expects it.

#include "crash/core/report/ide_jump_win.h"

#include "base/hex.h"
#include "base/win_handle.h"
#include "base/window_class.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace crash {
namespace {

std::string Received;
WPARAM ReceivedProcess = 0;

LRESULT CALLBACK AddIn(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == ::RegisterWindowMessageW(L"VexcatchIdeJumpCommand")) {
        ReceivedProcess = wParam;
        Received = reinterpret_cast<const char*>(lParam);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

TEST(IdeJump, TheLineReachesTheAddInOfTheRunningEnvironment)
{
    JumpToStackLine(u"nobody listens"); // no environment: nothing happens
    const base::Window environment(
        ::CreateWindowExW(0, base::RegisteredClass(L"TAppBuilder", &::DefWindowProcW, false), L"", 0, 0, 0, 0,
                          0, nullptr, nullptr, nullptr, nullptr));
    const std::string name = "QuorvelMsgHandlerWindow" + base::HexText(::GetCurrentThreadId()) + "$401000";
    const std::wstring wide(name.begin(), name.end());
    const base::Window addIn(::CreateWindowExW(0, base::RegisteredClass(wide.c_str(), &AddIn, false), L"", 0,
                                               0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(environment && addIn);
    JumpToStackLine(u"0045a1b2 +0c6 program.exe Unit1 123 +5 TForm1.Button1Click \u00e4");
    EXPECT_EQ(ReceivedProcess, ::GetCurrentProcessId());
    EXPECT_EQ(Received, "0045a1b2 +0c6 program.exe Unit1 123 +5 TForm1.Button1Click \xc3\xa4");
}

} // namespace
} // namespace crash
