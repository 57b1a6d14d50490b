#include "base/window_class.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace base {

LPCWSTR RegisteredClass(const WNDCLASSEXW& wc)
{
    static std::mutex lock;
    static std::map<std::wstring, std::unique_ptr<WindowClass>> classes;
    std::lock_guard<std::mutex> guard(lock);
    auto& entry = classes[wc.lpszClassName];
    if (!entry)
        entry = std::make_unique<WindowClass>(wc);
    return wc.lpszClassName;
}

LPCWSTR RegisteredClass(const wchar_t* name, WNDPROC proc, bool visible)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = name;
    if (visible) {
        wc.style = CS_DBLCLKS;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    }
    return RegisteredClass(wc);
}

Window CreateMessageWindow(const wchar_t* className, WNDPROC proc, void* data)
{
    Window wnd(::CreateWindowExW(0, RegisteredClass(className, proc, false), L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 nullptr, ::GetModuleHandleW(nullptr), nullptr));
    if (wnd && data)
        ::SetWindowLongPtrW(wnd.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
    return wnd;
}

} // namespace base
