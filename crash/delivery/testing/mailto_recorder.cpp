// The mail program of the tests' mailto links: writes the command line it was started with to
// "mailto_recorder.log" beside it (UTF-8) and ends.

#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t path[MAX_PATH] = L"";
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring log(path);
    log = log.substr(0, log.find_last_of(L'\\') + 1) + L"mailto_recorder.log";
    const wchar_t* line = ::GetCommandLineW();
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, line, -1, text.data(), size, nullptr, nullptr);
    const HANDLE file =
        ::CreateFileW((log + L".new").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD wrote = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
    ::CloseHandle(file);
    ::MoveFileExW((log + L".new").c_str(), log.c_str(), MOVEFILE_REPLACE_EXISTING);
    return 0;
}
