// A module whose attach routine fails while the loader holds its lock: it calls the crash
// child's exported ChildDispatch, or (with LOADER_LOCK_ABORT set) aborts.

#include <windows.h>

#include <cstdlib>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) {
        if (::GetEnvironmentVariableW(L"LOADER_LOCK_ABORT", nullptr, 0))
            std::abort();
        using TDispatch = void (*)();
        if (auto dispatch = reinterpret_cast<TDispatch>(
                reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(nullptr), "ChildDispatch"))))
            dispatch();
    }
    return TRUE;
}
