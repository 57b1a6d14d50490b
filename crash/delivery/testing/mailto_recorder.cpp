// The mail program of the tests' mailto links: writes the command line it was started with to
// "mailto_recorder.log" beside it (UTF-8) and ends.

#include "base/utf_win.h"
#include "base/win_handle.h"

#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t path[MAX_PATH] = L"";
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring log(path);
    log = log.substr(0, log.find_last_of(L'\\') + 1) + L"mailto_recorder.log";
    const std::string text = base::WideToUtf8(::GetCommandLineW());
    {
        const base::FileHandle file(
            ::CreateFileW((log + L".new").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD wrote = 0;
        ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
    }
    ::MoveFileExW((log + L".new").c_str(), log.c_str(), MOVEFILE_REPLACE_EXISTING);
    return 0;
}
