// Starts the real lumigate.exe, waits for its window, checks its size and caption, takes a
// screenshot of it (BMP) and closes it; the exe must end with exit code 0.
// Arguments: the exe's path (a Unix path is taken through Wine's Z: drive), the BMP's path.

#include "app/language.h"
#include "app/texts.h"
#include "tests/e2e/driver.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring ExePath, ShotPath;

TEST(ShippedExe, ShowsTheDownloadWindowAndEndsWithExitCodeZeroWhenClosed)
{
    e2e::TProgram program(ExePath);
    ASSERT_TRUE(program.Started()) << ::GetLastError();
    HWND wnd = program.WaitForMainWindow();
    ASSERT_NE(wnd, nullptr) << "no window appeared";
    ::Sleep(300); // let the first paint reach the screen

    RECT client;
    ::GetClientRect(wnd, &client);
    EXPECT_EQ(client.right, 445);
    EXPECT_EQ(client.bottom, 592);
    EXPECT_EQ(e2e::WindowText(wnd), app::WindowTexts(app::SystemLanguage(), L"Orvella").Caption);
    EXPECT_TRUE(e2e::SaveScreenshot(wnd, ShotPath));

    ::PostMessageW(wnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit(10000));
    EXPECT_EQ(program.ExitCode(), 0u);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: window_e2e EXE SCREENSHOT.bmp\n");
        return 2;
    }
    ExePath = e2e::WindowsPath(argv[1]);
    ShotPath = e2e::WindowsPath(argv[2]);
    return RUN_ALL_TESTS();
}
