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

// Runs `program ARGUMENTS LOG`.
inline TOutcome Start(const wchar_t* program, const std::string& arguments, DWORD timeoutMs = 30000)
{
    const std::wstring log = Beside(L"crash_child.log"), output = Beside(L"crash_child.out");
    ::DeleteFileW(log.c_str());
    std::wstring command = L"\"" + Beside(program) + L"\" " +
                           std::wstring(arguments.begin(), arguments.end()) + L" \"" + log + L"\"";
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    base::FileHandle out(::CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out.Get();
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    TOutcome result;
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "cannot start the child";
        return result;
    }
    out.Reset();
    base::KernelHandle process(pi.hProcess), primary(pi.hThread);
    if (::WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.Get(), 1);
        ADD_FAILURE() << arguments << " did not end";
    }
    ::GetExitCodeProcess(process.Get(), &result.ExitCode);
    std::ifstream in(std::string(log.begin(), log.end()));
    for (std::string line; std::getline(in, line);)
        result.Lines.push_back(line.substr(0, line.find('\r')));
    in.close();
    ::DeleteFileW(log.c_str());
    std::ifstream written(std::string(output.begin(), output.end()), std::ios::binary);
    result.Output.assign(std::istreambuf_iterator<char>(written), std::istreambuf_iterator<char>());
    written.close();
    ::DeleteFileW(output.c_str());
    return result;
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
