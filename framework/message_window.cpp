#include "framework/message_window.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace framework {

base::Window CreateMessageWindow(const wchar_t* className, WNDPROC proc, void* data)
{
    static std::mutex lock;
    static std::map<std::wstring, std::unique_ptr<base::WindowClass>> classes;
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    {
        std::lock_guard<std::mutex> guard(lock);
        auto& entry = classes[className];
        if (!entry) {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof(wc);
            wc.lpfnWndProc = proc;
            wc.hInstance = instance;
            wc.lpszClassName = className;
            entry = std::make_unique<base::WindowClass>(wc);
        }
    }
    base::Window wnd(
        ::CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr));
    if (wnd && data)
        ::SetWindowLongPtrW(wnd.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
    return wnd;
}

} // namespace framework
