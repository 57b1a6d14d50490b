#pragma once
// Helpers of the Windows-side test drivers that start the real lumigate.exe and operate
// it from outside, as a user would.

#include "base/win_handle.h"
#include "crash/imaging/vx_bitmap.h"

#include <windows.h>

#include <string>
#include <utility>

namespace e2e {

// A Unix path (as CTest passes it) through Wine's Z: drive; Windows paths stay as they are.
std::wstring WindowsPath(const std::string& path);

// The program under test, started with the driver's environment.
class TProgram
{
public:
    explicit TProgram(const std::wstring& exe, const std::wstring& arguments = L"");
    // A running process the program under test started itself (its restart).
    explicit TProgram(DWORD id);
    bool Started() const { return FProcess.Valid(); }
    DWORD Id() const { return FId; }

    // The visible main window (class "LumigateForm"), waited for up to ten seconds.
    HWND WaitForMainWindow();
    // A message box of the program, waited for up to `ms` milliseconds.
    HWND WaitForMessageBox(DWORD ms);
    // Waits for the end of the process; false after `ms` milliseconds.
    bool WaitForExit(DWORD ms);
    DWORD ExitCode() const;
    ~TProgram();

private:
    base::KernelHandle FProcess, FThread;
    DWORD FId = 0;
};

// A visible top-level window of that class of process `pid` (with `pid` 0: of any process but
// `notPid` and the driver), waited for up to `timeoutMs`.
HWND WaitForWindow(const wchar_t* className, DWORD pid, DWORD notPid = 0, DWORD timeoutMs = 30000);
// Presses the window's button of that caption as a click would; false when it has none.
bool PressButton(HWND window, const wchar_t* caption);

// The whole file (empty when it cannot be read), shared with its writers.
std::string ReadWhole(const std::wstring& path);

// Runs vextrace (at `vextrace`) with `arguments`: its exit code (~0 when it did not start or
// end within a minute) and what it printed.
std::pair<DWORD, std::string> RunVextrace(const std::wstring& vextrace, const std::wstring& arguments);

// The section of a bug report whose title starts with `title`, up to the next section ("" when
// there is none).
std::string ReportSection(const std::string& report, const std::string& title);

// The value of a header field of a bug report ("" when the header has no such line).
std::string ReportHeaderValue(const std::string& report, const std::string& field);

// The process of a window.
DWORD ProcessOf(HWND wnd);

// The control of that window's thread that has the keyboard focus, once it is one of the
// window's own (a form just shown may not have given it yet); null after two seconds.
HWND FocusIn(HWND wnd);

// The first child window of `parent` with the given class.
HWND FindChild(HWND parent, const wchar_t* className);
std::wstring WindowText(HWND wnd);
// The static text of a message box.
std::wstring MessageBoxText(HWND box);

// The window as it is on the screen (null when it could not be captured), and, once it and
// its controls are painted, saved as a BMP file.
base::ComPtr<crash::IVxBitmap> Screenshot(HWND wnd);
bool SaveScreenshot(HWND wnd, const std::wstring& path);

} // namespace e2e
