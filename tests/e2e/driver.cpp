#include "tests/e2e/driver.h"

#include "crash/imaging/vx_bitmap.h"

namespace e2e {
namespace {

struct Search
{
    DWORD Pid;
    const wchar_t* Class;
    HWND Found;
    DWORD NotPid = 0; // with Pid 0: any process but this one and the driver's
};

BOOL CALLBACK MatchWindow(HWND wnd, LPARAM param)
{
    auto* s = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(wnd, &owner);
    wchar_t cls[64] = {};
    ::GetClassNameW(wnd, cls, 64);
    const bool whose = s->Pid ? owner == s->Pid : owner != s->NotPid && owner != ::GetCurrentProcessId();
    if (whose && ::IsWindowVisible(wnd) && lstrcmpW(cls, s->Class) == 0) {
        s->Found = wnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindTopLevel(DWORD pid, const wchar_t* cls)
{
    Search s{pid, cls, nullptr};
    ::EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&s));
    return s.Found;
}

BOOL CALLBACK NoteNeedsPaint(HWND child, LPARAM needs)
{
    *reinterpret_cast<bool*>(needs) =
        *reinterpret_cast<bool*>(needs) || ::GetUpdateRect(child, nullptr, FALSE);
    return TRUE;
}

// Whether the window or one of its controls still has something to paint.
bool NeedsPaint(HWND wnd)
{
    bool needs = ::GetUpdateRect(wnd, nullptr, FALSE);
    ::EnumChildWindows(wnd, &NoteNeedsPaint, reinterpret_cast<LPARAM>(&needs));
    return needs;
}

} // namespace

HWND WaitForWindow(const wchar_t* className, DWORD pid, DWORD notPid, DWORD timeoutMs)
{
    for (DWORD waited = 0;; waited += 100) { // looked for at least once
        Search s{pid, className, nullptr, notPid};
        ::EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&s));
        if (s.Found)
            return s.Found;
        if (waited >= timeoutMs)
            return nullptr;
        ::Sleep(100);
    }
}

bool PressButton(HWND window, const wchar_t* caption)
{
    const HWND button = ::FindWindowExW(window, nullptr, L"Button", caption);
    if (button)
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
    return button != nullptr;
}

std::wstring WindowsPath(const std::string& path)
{
    std::wstring out;
    for (char c : path)
        out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return !path.empty() && path[0] == '/' ? L"Z:" + out : out;
}

TProgram::TProgram(const std::wstring& exe, const std::wstring& arguments)
{
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    if (::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                         &pi)) {
        FProcess.Reset(pi.hProcess);
        FThread.Reset(pi.hThread);
        FId = pi.dwProcessId;
    }
}

TProgram::TProgram(DWORD id)
    : FProcess(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, id)),
      FId(FProcess ? id : 0)
{
}

TProgram::~TProgram()
{
    // A program that a failed test left running is ended with it.
    if (FProcess && ::WaitForSingleObject(FProcess.Get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(FProcess.Get(), 99);
        ::WaitForSingleObject(FProcess.Get(), 5000);
    }
}

HWND TProgram::WaitForMainWindow()
{
    for (int i = 0; i < 200; ++i) {
        if (HWND wnd = FindTopLevel(FId, L"LumigateForm")) {
            ::WaitForInputIdle(FProcess.Get(), 5000);
            return wnd;
        }
        if (::WaitForSingleObject(FProcess.Get(), 50) == WAIT_OBJECT_0)
            return nullptr;
    }
    return nullptr;
}

HWND TProgram::WaitForMessageBox(DWORD ms)
{
    const DWORD start = ::GetTickCount();
    do {
        if (HWND box = FindTopLevel(FId, L"#32770"))
            return box;
        if (::WaitForSingleObject(FProcess.Get(), 50) == WAIT_OBJECT_0)
            return nullptr;
    } while (::GetTickCount() - start < ms);
    return nullptr;
}

bool TProgram::WaitForExit(DWORD ms)
{
    return ::WaitForSingleObject(FProcess.Get(), ms) == WAIT_OBJECT_0;
}

DWORD TProgram::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(FProcess.Get(), &code);
    return code;
}

std::string ReportSection(const std::string& report, const std::string& title)
{
    const size_t start = report.find("\r\n\r\n" + title);
    if (start == std::string::npos)
        return {};
    const size_t end = report.find("\r\n\r\n", start + 4);
    return report.substr(start + 4, end == std::string::npos ? std::string::npos : end - start - 4);
}

std::string ReportHeaderValue(const std::string& report, const std::string& field)
{
    const size_t at = report.rfind(field, 0) == 0 ? 0 : report.find("\r\n" + field);
    const size_t end = at == std::string::npos ? at : report.find("\r\n", at + 2);
    const size_t colon = at == std::string::npos ? at : report.find(": ", at);
    if (colon == std::string::npos || colon > end)
        return {};
    return report.substr(colon + 2, end == std::string::npos ? end : end - colon - 2);
}

DWORD ProcessOf(HWND wnd)
{
    DWORD process = 0;
    ::GetWindowThreadProcessId(wnd, &process);
    return process;
}

HWND FocusIn(HWND wnd)
{
    for (int i = 0; i < 200; ++i, ::Sleep(10)) {
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        if (::GetGUIThreadInfo(::GetWindowThreadProcessId(wnd, nullptr), &gui) &&
            ::IsChild(wnd, gui.hwndFocus))
            return gui.hwndFocus;
    }
    return nullptr;
}

HWND FindChild(HWND parent, const wchar_t* className)
{
    return ::FindWindowExW(parent, nullptr, className, nullptr);
}

std::wstring WindowText(HWND wnd)
{
    wchar_t text[512] = {};
    ::GetWindowTextW(wnd, text, 512);
    return text;
}

std::wstring MessageBoxText(HWND box)
{
    wchar_t text[512] = {};
    ::GetDlgItemTextW(box, 0xFFFF, text, 512);
    return text;
}

base::ComPtr<crash::IVxBitmap> Screenshot(HWND wnd)
{
    RECT r;
    ::GetWindowRect(wnd, &r);
    base::ComPtr<crash::IVxBitmap> shot = crash::NewVxBitmap(r.right - r.left, r.bottom - r.top);
    base::WindowDc screen(nullptr);
    if (!shot || !::BitBlt(shot->DC(), 0, 0, shot->GetWidth(), shot->GetHeight(), screen.Get(), r.left, r.top,
                           SRCCOPY))
        return {};
    return shot;
}

bool SaveScreenshot(HWND wnd, const std::wstring& path)
{
    // A window just shown may not be painted, nor on the display yet: the shot waits for both.
    for (int i = 0; i < 100 && NeedsPaint(wnd); ++i)
        ::Sleep(20);
    ::Sleep(300);
    const base::ComPtr<crash::IVxBitmap> shot = Screenshot(wnd);
    return shot && shot->SaveBmp(path);
}

std::pair<DWORD, std::string> RunVextrace(const std::wstring& vextrace, const std::wstring& arguments)
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring output =
        std::wstring(temp) + L"vextrace-" + std::to_wstring(::GetCurrentProcessId()) + L".out";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    base::FileHandle out(
        ::CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = out.Get();
    PROCESS_INFORMATION info{};
    std::wstring line = L"\"" + vextrace + L"\" " + arguments;
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &info)) {
        out.Reset();
        ::DeleteFileW(output.c_str());
        return {~0u, ""};
    }
    const base::KernelHandle process(info.hProcess), thread(info.hThread);
    DWORD code = ~0u;
    if (::WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.Get(), ~0u);
        ::WaitForSingleObject(process.Get(), 5000);
    } else {
        ::GetExitCodeProcess(process.Get(), &code);
    }
    out.Reset();
    const std::string printed = ReadWhole(output);
    ::DeleteFileW(output.c_str());
    return {code, printed};
}

std::string ReadWhole(const std::wstring& path)
{
    base::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    std::string data;
    if (!file)
        return data;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr) && got)
        data.append(buffer, got);
    return data;
}

} // namespace e2e
