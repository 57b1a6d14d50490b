#include "crash/core/report/ide_jump_win.h"

#include "base/hex.h"
#include "base/utf.h"

#include <windows.h>

#include <vector>

namespace crash {

void JumpToStackLine(const std::u16string& line)
{
    const HWND environment = ::FindWindowW(L"TAppBuilder", nullptr);
    if (!environment)
        return;
    struct TFind
    {
        std::wstring Prefix;
        HWND Found = nullptr;
    } find;
    const std::string prefix =
        "QuorvelMsgHandlerWindow" + base::HexText(::GetWindowThreadProcessId(environment, nullptr));
    find.Prefix.assign(prefix.begin(), prefix.end());
    ::EnumWindows(
        [](HWND window, LPARAM p) WINAPI -> BOOL {
            auto* f = reinterpret_cast<TFind*>(p);
            wchar_t name[256];
            const int n = ::GetClassNameW(window, name, 256);
            if (n > 0 && std::wstring_view(name, n).starts_with(f->Prefix))
                f->Found = window;
            return !f->Found;
        },
        reinterpret_cast<LPARAM>(&find));
    if (!find.Found)
        return;
    const std::string text = base::Utf16ToUtf8(line);
    std::vector<char> buffer(std::max<size_t>(text.size() + 1, 260), 0);
    std::copy(text.begin(), text.end(), buffer.begin());
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutW(find.Found, ::RegisterWindowMessageW(L"VexcatchIdeJumpCommand"),
                          ::GetCurrentProcessId(), reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                          1000, &answer);
}

} // namespace crash
