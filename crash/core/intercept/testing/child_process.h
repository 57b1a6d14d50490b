#pragma once
// The parent's side of the crash tests: runs a child program beside the test with a log file
// as its last argument, waits for it (killing it after a time-out), and reads its exit code,
// the lines of its log and what it wrote to its standard output.

#include "base/win_handle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace crash::testing {

struct TOutcome
{
    DWORD ExitCode = 0;
    std::vector<std::string> Lines;
    std::string Output;
};

// A file beside the running test.
inline std::wstring Beside(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

// A child started as `program ARGUMENTS LOG`; the test may look at its windows while it
// runs, then Finish waits for it (killing it after a time-out) and reads what it left.
class TChild
{
public:
    TChild(const wchar_t* program, const std::string& arguments) : FArguments(arguments)
    {
        ::DeleteFileW(FLog.c_str());
        std::wstring command = L"\"" + Beside(program) + L"\" " +
                               std::wstring(arguments.begin(), arguments.end()) + L" \"" + FLog + L"\"";
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        base::FileHandle out(::CreateFileW(FOutput.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = out.Get();
        si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
        si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                              &pi)) {
            ADD_FAILURE() << "cannot start the child";
            return;
        }
        FProcess.Reset(pi.hProcess);
        base::KernelHandle primary(pi.hThread);
        FId = pi.dwProcessId;
    }
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;
    ~TChild()
    {
        if (FProcess)
            ::TerminateProcess(FProcess.Get(), 1);
    }

    HANDLE Process() const { return FProcess.Get(); }
    DWORD Id() const { return FId; }

    // A visible top-level window of the child of class `className` other than `other`,
    // waited for; none after the time-out.
    HWND WaitForWindow(const wchar_t* className, HWND other = nullptr, DWORD timeoutMs = 20000) const
    {
        struct TFind
        {
            DWORD Process;
            const wchar_t* Class;
            HWND Other;
            HWND Found = nullptr;
        };
        for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
            TFind find{FId, className, other};
            ::EnumWindows(
                [](HWND wnd, LPARAM p) WINAPI -> BOOL {
                    auto* f = reinterpret_cast<TFind*>(p);
                    DWORD owner = 0;
                    ::GetWindowThreadProcessId(wnd, &owner);
                    wchar_t name[64] = {};
                    ::GetClassNameW(wnd, name, 64);
                    if (owner == f->Process && wnd != f->Other && ::IsWindowVisible(wnd) &&
                        std::wstring(name) == f->Class)
                        f->Found = wnd;
                    return !f->Found;
                },
                reinterpret_cast<LPARAM>(&find));
            if (find.Found)
                return find.Found;
            ::Sleep(50);
        }
        return nullptr;
    }

    TOutcome Finish(DWORD timeoutMs = 30000)
    {
        TOutcome result;
        if (!FProcess)
            return result;
        if (::WaitForSingleObject(FProcess.Get(), timeoutMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(FProcess.Get(), 1);
            ::WaitForSingleObject(FProcess.Get(), 5000);
            ADD_FAILURE() << FArguments << " did not end";
        }
        ::GetExitCodeProcess(FProcess.Get(), &result.ExitCode);
        FProcess.Reset();
        std::ifstream in(std::string(FLog.begin(), FLog.end()));
        for (std::string line; std::getline(in, line);)
            result.Lines.push_back(line.substr(0, line.find('\r')));
        in.close();
        ::DeleteFileW(FLog.c_str());
        std::ifstream written(std::string(FOutput.begin(), FOutput.end()), std::ios::binary);
        result.Output.assign(std::istreambuf_iterator<char>(written), std::istreambuf_iterator<char>());
        written.close();
        ::DeleteFileW(FOutput.c_str());
        return result;
    }

private:
    std::string FArguments;
    std::wstring FLog = Beside(L"crash_child.log"), FOutput = Beside(L"crash_child.out");
    base::KernelHandle FProcess;
    DWORD FId = 0;
};

// Runs `program ARGUMENTS LOG` to its end.
inline TOutcome Start(const wchar_t* program, const std::string& arguments, DWORD timeoutMs = 30000)
{
    TChild child(program, arguments);
    return child.Finish(timeoutMs);
}

// The blank-separated field `index` of a line.
inline std::string Field(const std::string& line, int index)
{
    std::istringstream s(line);
    std::string f;
    for (int i = 0; i <= index; ++i)
        s >> f;
    return f;
}

} // namespace crash::testing
