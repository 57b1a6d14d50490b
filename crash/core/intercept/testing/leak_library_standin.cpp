// A stand-in for the leak-checking library: its interface version is LEAK_API_VERSION (2 when
// not set); it counts the calls it gets. It has the older name ThisIsNoLeak, not HideLeakPtr.

#include <windows.h>

#include <cstdlib>

// As some libraries do when they start: their own floating-point settings.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) {
        const unsigned short control = 0x0C7F; // rounding towards zero, all exceptions masked
        asm volatile("fldcw %0" : : "m"(control));
    }
    return TRUE;
}

extern "C" {

__declspec(dllexport) int Calls = 0;

__declspec(dllexport) int WINAPI GetApiVersion()
{
    char value[8] = {};
    return ::GetEnvironmentVariableA("LEAK_API_VERSION", value, sizeof value) ? std::atoi(value) : 2;
}

__declspec(dllexport) BOOL WINAPI StartLeakChecking(HMODULE, const void* manager)
{
    Calls += manager ? 1 : 100;
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI CalibrateLeakChecking(HMODULE)
{
    Calls += 10;
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI UnloadLeakModule(HMODULE)
{
    Calls += 1000;
    return TRUE;
}

// Overruns count 10000, underruns 20000.
__declspec(dllexport) BOOL WINAPI StartDebugMm(HMODULE, const void* manager, BOOL overrun)
{
    Calls += manager ? (overrun ? 10000 : 20000) : 100;
    return TRUE;
}

__declspec(dllexport) void WINAPI ThisIsNoLeak(void*) {}
}
