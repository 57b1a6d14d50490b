// The download flow of the real lumigate.exe, operated from outside as a user would: the
// driver presses the button, answers the failure box and reads the exit code. The maker's
// URL is served by the project's test server acting as WinInet's proxy (with_servers.sh);
// the "installer" is the demo installer, which writes "<its path>.ran" when it runs.
// Arguments: lumigate.exe, demo_installer.exe, the folder for screenshots, vextrace.exe.

#include "tests/e2e/driver.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>

#include <cstdio>
#include <sstream>
#include <string>

namespace {

using e2e::TProgram;

std::wstring Lumigate, DemoInstaller, Artifacts, Vextrace;
const wchar_t* const Installer = L"orvellaVV.exe";

std::wstring Env(const wchar_t* name)
{
    wchar_t value[1024] = {};
    return ::GetEnvironmentVariableW(name, value, 1024) ? value : L"";
}

void WriteWhole(const std::wstring& path, const std::string& data)
{
    base::FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A folder named by an environment variable that holds a Unix path (ASCII).
std::wstring EnvFolder(const wchar_t* name)
{
    const std::wstring value = Env(name);
    return e2e::WindowsPath(std::string(value.begin(), value.end()));
}

std::wstring Files()
{
    return EnvFolder(L"LUMIGATE_TEST_FILES") + L"\\";
}

int Requests()
{
    std::istringstream lines(e2e::ReadWhole(EnvFolder(L"LUMIGATE_TEST_LOG")));
    std::string line;
    int count = 0;
    while (std::getline(lines, line))
        count += line.find("orvellaVV.exe") != std::string::npos;
    return count;
}

// What the server answers for the installer: the demo installer cut or padded to `size`
// bytes; of them only `cut` are sent when given, after `delayMs` milliseconds.
void Serve(size_t size, int cut = -1, int delayMs = 0)
{
    std::string data = e2e::ReadWhole(DemoInstaller);
    data.resize(size, '\0');
    WriteWhole(Files() + Installer, data);
    const std::wstring cutFile = Files() + Installer + L".cut", delayFile = Files() + Installer + L".delay";
    ::DeleteFileW(cutFile.c_str());
    ::DeleteFileW(delayFile.c_str());
    if (cut >= 0)
        WriteWhole(cutFile, std::to_string(cut));
    if (delayMs > 0)
        WriteWhole(delayFile, std::to_string(delayMs));
}

// A fresh folder for one case, named with long names.
std::wstring CaseFolder(const std::wstring& name)
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring base = std::wstring(temp) + L"Lumigate Download Cases\\";
    ::CreateDirectoryW(base.c_str(), nullptr);
    const std::wstring folder = base + name + L"\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    for (const wchar_t* leftover : {L"orvellaVV.exe", L"orvellaVV.exe.ran"})
        ::DeleteFileW((folder + leftover).c_str());
    return folder;
}

// The path the demo installer ran from, or "" when it didn't run.
// The path the demo installer recorded. The record is read again for a while when it comes
// out empty: a file can be unreadable for a moment while another process still holds it.
std::wstring RanFrom(const std::wstring& folder)
{
    std::string data;
    for (int attempt = 0; attempt < 50 && data.empty(); ++attempt) {
        if (attempt)
            ::Sleep(100);
        data = e2e::ReadWhole(folder + Installer + L".ran");
    }
    return std::wstring(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
}

bool WaitForFile(const std::wstring& path, DWORD ms)
{
    const DWORD start = ::GetTickCount();
    while (!Exists(path)) {
        if (::GetTickCount() - start > ms)
            return false;
        ::Sleep(50);
    }
    return true;
}

void PressButton(HWND main)
{
    ::PostMessageW(e2e::FindChild(main, L"Button"), BM_CLICK, 0, 0);
}

HWND Overlay(HWND main)
{
    for (HWND child = e2e::FindChild(main, L"LumigatePanel"); child;
         child = ::FindWindowExW(main, child, L"LumigatePanel", nullptr)) {
        RECT r;
        ::GetWindowRect(child, &r);
        ::MapWindowPoints(HWND_DESKTOP, main, reinterpret_cast<POINT*>(&r), 2);
        if (r.top == 82)
            return child;
    }
    return nullptr;
}

class Download : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::SetEnvironmentVariableW(L"LUMIGATE_DEMO_QUIET", L"1");
        wchar_t temp[1024] = {};
        ::GetEnvironmentVariableW(L"TEMP", temp, 1024);
        SavedTemp = temp;
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"TEMP", SavedTemp.c_str()); }
    static void SetTemp(const std::wstring& value) { ::SetEnvironmentVariableW(L"TEMP", value.c_str()); }

    // Starts Lumigate, presses its button and expects the installer to start from
    // `expectedInstaller` and Lumigate to end with exit code 0.
    void ExpectLaunch(const std::wstring& ranFolder, const std::wstring& expectedInstaller)
    {
        TProgram program(Lumigate);
        HWND main = program.WaitForMainWindow();
        ASSERT_NE(main, nullptr);
        PressButton(main);
        ASSERT_TRUE(program.WaitForExit(20000)) << "Lumigate did not end";
        EXPECT_EQ(program.ExitCode(), 0u);
        ASSERT_TRUE(WaitForFile(ranFolder + Installer + L".ran", 10000)) << "the installer did not run";
        EXPECT_EQ(RanFrom(ranFolder), expectedInstaller);
    }

    std::wstring SavedTemp;
};

TEST_F(Download, AnInstallerLargerThanTheLimitStartsAndTheProgramEnds)
{
    Serve(2201);
    const std::wstring folder = CaseFolder(L"Launch 2201");
    SetTemp(folder);
    ExpectLaunch(folder, folder + Installer);
    EXPECT_EQ(e2e::ReadWhole(folder + Installer).size(), 2201u);
}

TEST_F(Download, TheLimitItselfFailsAndTheWindowWorksAgain)
{
    Serve(2200);
    const std::wstring folder = CaseFolder(L"Failure 2200");
    SetTemp(folder);
    const int before = Requests();
    TProgram program(Lumigate);
    HWND main = program.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    for (int press = 1; press <= 2; ++press) {
        PressButton(main);
        HWND box = program.WaitForMessageBox(15000);
        ASSERT_NE(box, nullptr) << "press " << press;
        EXPECT_EQ(e2e::WindowText(box), L"Download failed");
        EXPECT_EQ(e2e::MessageBoxText(box), L"Downloading full version failed!");
        EXPECT_FALSE(::IsWindowVisible(Overlay(main)));
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 100 && ::IsWindow(box); ++i)
            ::Sleep(50);
        EXPECT_FALSE(::IsWindow(box));
    }
    EXPECT_EQ(Requests() - before, 2);
    EXPECT_FALSE(Exists(folder + Installer + L".ran"));
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit(10000));
    EXPECT_EQ(program.ExitCode(), 0u);
}

TEST_F(Download, ABodyCutShortWithEnoughOnDiskStillLaunches)
{
    Serve(6000, 3000);
    const std::wstring folder = CaseFolder(L"Cut short");
    SetTemp(folder);
    ExpectLaunch(folder, folder + Installer);
    EXPECT_EQ(e2e::ReadWhole(folder + Installer).size(), 3000u);
}

TEST_F(Download, AStaleFileIsDeletedBeforeTheNewDownload)
{
    Serve(2201, -1, 3000);
    const std::wstring folder = CaseFolder(L"Stale");
    WriteWhole(folder + Installer, "stale installer of an earlier run");
    SetTemp(folder);
    TProgram program(Lumigate);
    HWND main = program.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    PressButton(main);
    ::Sleep(800); // the server holds back its answer for three seconds
    EXPECT_FALSE(Exists(folder + Installer));
    EXPECT_TRUE(::IsWindowVisible(Overlay(main)));
    ASSERT_TRUE(program.WaitForExit(20000));
    EXPECT_EQ(program.ExitCode(), 0u);
    EXPECT_TRUE(WaitForFile(folder + Installer + L".ran", 10000));
}

TEST_F(Download, AStaleFileHeldOpenIsIgnored)
{
    Serve(2201);
    const std::wstring folder = CaseFolder(L"Stale held open");
    WriteWhole(folder + Installer, "stale");
    SetTemp(folder);
    {
        // Open without sharing for deletion: Lumigate's delete fails, the download proceeds.
        base::FileHandle held(::CreateFileW((folder + Installer).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                            nullptr));
        ASSERT_TRUE(held.Valid());
        ExpectLaunch(folder, folder + Installer);
    }
    EXPECT_EQ(e2e::ReadWhole(folder + Installer).size(), 2201u);
}

TEST_F(Download, TemporaryFolderGivenInItsShortForm)
{
    Serve(2201);
    const std::wstring folder = CaseFolder(L"A Long Temporary Folder Name");
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameW(folder.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortName), folder);
    SetTemp(shortName);
    ExpectLaunch(folder, folder + Installer);
}

TEST_F(Download, TemporaryFolderOutsideTheAnsiCodePage)
{
    Serve(2201);
    const std::wstring folder = CaseFolder(L"\u0434\u0430\u043d\u043d\u044b\u0435 \u65e5\u672c");
    SetTemp(folder);
    ExpectLaunch(folder, folder + Installer);
}

TEST_F(Download, TemporaryFolderWithBlanksAround)
{
    Serve(2201);
    const std::wstring folder = CaseFolder(L"Blanks");
    SetTemp(L"   " + folder.substr(0, folder.size() - 1) + L"  ");
    ExpectLaunch(folder, folder + Installer);
}

TEST_F(Download, TemporaryFolderNowhereOrUnsetMeansTheDriveRoot)
{
    Serve(2201);
    for (bool unset : {false, true}) {
        ::DeleteFileW(L"C:\\orvellaVV.exe");
        ::DeleteFileW(L"C:\\orvellaVV.exe.ran");
        if (unset)
            ::SetEnvironmentVariableW(L"TEMP", nullptr);
        else
            SetTemp(L"C:\\no such folder for Lumigate");
        ExpectLaunch(L"C:\\", L"C:\\orvellaVV.exe");
        ::DeleteFileW(L"C:\\orvellaVV.exe");
        ::DeleteFileW(L"C:\\orvellaVV.exe.ran");
    }
}

TEST_F(Download, PressingAgainDuringADownloadStartsNothingNew)
{
    Serve(2201, -1, 3000);
    const std::wstring folder = CaseFolder(L"Second press");
    SetTemp(folder);
    const int before = Requests();
    TProgram program(Lumigate);
    HWND main = program.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    HWND button = e2e::FindChild(main, L"Button");
    PressButton(main);
    ::Sleep(400);
    // The overlay covers the button, but the keyboard still reaches it.
    ::PostMessageW(button, WM_KEYDOWN, VK_SPACE, 0x00390001);
    ::PostMessageW(button, WM_KEYUP, VK_SPACE, 0xC0390001);
    PressButton(main);
    ASSERT_TRUE(program.WaitForExit(20000));
    EXPECT_EQ(program.ExitCode(), 0u);
    EXPECT_TRUE(WaitForFile(folder + Installer + L".ran", 10000));
    EXPECT_EQ(Requests() - before, 1);
}

// vextrace asked while a download runs: the main thread waits in the window's message loop,
// and the getter's thread (its own section) waits for the server; the download then goes on
// and the installer starts.
TEST_F(Download, VextraceSeesTheGetterAtWork)
{
    Serve(2201, -1, 10000); // the download waits this long for the server's answer
    const std::wstring folder = CaseFolder(L"Traced");
    SetTemp(folder);
    TProgram program(Lumigate);
    HWND main = program.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    PressButton(main);
    ::Sleep(500);
    const auto [code, report] = e2e::RunVextrace(Vextrace, std::to_wstring(program.Id()));
    WriteWhole(Artifacts + L"lumigate-downloading-trace.txt", report);
    EXPECT_EQ(code, 0u) << report;
    const std::string mainThread = e2e::ReportSection(report, "main thread");
    EXPECT_NE(mainThread.find("framework.TApplication.Run"), std::string::npos) << report;
    EXPECT_EQ(mainThread.find("net.THTTPGetThread.Execute"), std::string::npos) << report;
    // The getter's thread is a section of its own ("thread $ID", or the name it was given).
    const size_t getter = report.find("net.THTTPGetThread.Execute");
    const size_t title = report.rfind("\r\n\r\n", getter);
    EXPECT_TRUE(getter != std::string::npos && title != std::string::npos &&
                report.compare(title + 4, 11, "main thread") != 0)
        << report;
    ASSERT_TRUE(program.WaitForExit(30000));
    EXPECT_EQ(program.ExitCode(), 0u);
    EXPECT_TRUE(WaitForFile(folder + Installer + L".ran", 10000));
}

// The leftmost dark pixel on the row through the bullets' centres (the overlay's row 208,
// whose bullets are black on white), or -1 when no bullet is on screen.
int FirstBulletColumn(crash::IVxBitmap& shot, HWND main)
{
    RECT window, overlay;
    ::GetWindowRect(main, &window);
    ::GetWindowRect(Overlay(main), &overlay);
    const int y = overlay.top - window.top + 208;
    for (int x = overlay.left - window.left; x < overlay.right - window.left; ++x) {
        const COLORREF c = ::GetPixel(shot.DC(), x, y);
        if (GetRValue(c) < 96 && GetGValue(c) < 96 && GetBValue(c) < 96)
            return x;
    }
    return -1;
}

TEST_F(Download, ScreenshotsOfTheIdleAndTheAnimatingWindow)
{
    Serve(2201, -1, 3000);
    const std::wstring folder = CaseFolder(L"Screenshots");
    SetTemp(folder);
    TProgram program(Lumigate);
    HWND main = program.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    ::Sleep(300);
    EXPECT_TRUE(e2e::SaveScreenshot(main, Artifacts + L"download-idle.bmp"));
    PressButton(main);
    ::Sleep(500);
    EXPECT_TRUE(::IsWindowVisible(Overlay(main)));
    // Frames of the overlay while the getter waits for the server: the bullets move.
    std::vector<int> columns;
    for (int frame = 1; frame <= 5; ++frame) {
        const base::ComPtr<crash::IVxBitmap> shot = e2e::Screenshot(main);
        ASSERT_TRUE(shot);
        EXPECT_TRUE(shot->SaveBmp(Artifacts + L"download-frame-" + std::to_wstring(frame) + L".bmp"));
        if (frame == 1) {
            EXPECT_TRUE(shot->SaveBmp(Artifacts + L"download-running.bmp"));
        }
        columns.push_back(FirstBulletColumn(*shot.Get(), main));
        ::Sleep(150);
    }
    std::vector<int> seen;
    for (int c : columns)
        if (c >= 0 && std::find(seen.begin(), seen.end(), c) == seen.end())
            seen.push_back(c);
    EXPECT_GE(seen.size(), 2u) << "the bullets did not move";
    ASSERT_TRUE(program.WaitForExit(20000));
    EXPECT_EQ(program.ExitCode(), 0u);
}

// Run with a German system language (see tests/e2e/CMakeLists.txt).
TEST(German, TheFailureBoxSpeaksGerman)
{
    ASSERT_EQ(::GetSystemDefaultLangID() & 0x3FF, LANG_GERMAN);
    Serve(100);
    ::SetEnvironmentVariableW(L"TEMP", CaseFolder(L"German").c_str());
    TProgram program(Lumigate);
    HWND main = program.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    PressButton(main);
    HWND box = program.WaitForMessageBox(15000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(e2e::WindowText(box), L"Download fehlgeschlagen");
    EXPECT_EQ(e2e::MessageBoxText(box), L"Der Download der Vollversion ist fehlgeschlagen!");
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit(10000));
}

// Run with WinInet's proxy on a port where nothing listens.
TEST(NoServer, TheFailureBoxAndTheWindowReturnsToIdle)
{
    ::SetEnvironmentVariableW(L"TEMP", CaseFolder(L"No server").c_str());
    TProgram program(Lumigate);
    HWND main = program.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    PressButton(main);
    HWND box = program.WaitForMessageBox(15000);
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(::IsWindowVisible(Overlay(main)));
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 100 && ::IsWindow(box); ++i)
        ::Sleep(50);
    EXPECT_TRUE(::IsWindowVisible(main));
    EXPECT_TRUE(::IsWindowVisible(e2e::FindChild(main, L"Button")));
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit(10000));
    EXPECT_EQ(program.ExitCode(), 0u);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 5) {
        std::fprintf(stderr,
                     "usage: download_e2e LUMIGATE.exe DEMO_INSTALLER.exe SCREENSHOT_FOLDER VEXTRACE.exe\n");
        return 2;
    }
    Lumigate = e2e::WindowsPath(argv[1]);
    DemoInstaller = e2e::WindowsPath(argv[2]);
    Artifacts = e2e::WindowsPath(argv[3]) + L"\\";
    Vextrace = e2e::WindowsPath(argv[4]);
    return RUN_ALL_TESTS();
}
