// A module whose attach routine hands an exception over while the loader holds its lock:
// it calls the crash child's exported ChildDispatch.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) {
        using TDispatch = void (*)();
        if (auto dispatch = reinterpret_cast<TDispatch>(
                reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(nullptr), "ChildDispatch"))))
            dispatch();
    }
    return TRUE;
}
