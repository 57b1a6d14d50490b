#pragma once
// The parent's side of the crash tests: runs a child program beside the test with a log file
// as its last argument, waits for it (killing it after a time-out), and reads its exit code
// and the lines of its log.

#include "base/win_handle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace crash::testing {

struct TOutcome
{
    DWORD ExitCode = 0;
    std::vector<std::string> Lines;
};

// A file beside the running test.
inline std::wstring Beside(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

// Runs `program ARGUMENTS LOG`.
inline TOutcome Start(const wchar_t* program, const std::string& arguments, DWORD timeoutMs = 30000)
{
    const std::wstring log = Beside(L"crash_child.log");
    ::DeleteFileW(log.c_str());
    std::wstring command = L"\"" + Beside(program) + L"\" " +
                           std::wstring(arguments.begin(), arguments.end()) + L" \"" + log + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    TOutcome out;
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "cannot start the child";
        return out;
    }
    base::KernelHandle process(pi.hProcess), primary(pi.hThread);
    if (::WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.Get(), 1);
        ADD_FAILURE() << arguments << " did not end";
    }
    ::GetExitCodeProcess(process.Get(), &out.ExitCode);
    std::ifstream in(std::string(log.begin(), log.end()));
    for (std::string line; std::getline(in, line);)
        out.Lines.push_back(line.substr(0, line.find('\r')));
    ::DeleteFileW(log.c_str());
    return out;
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
