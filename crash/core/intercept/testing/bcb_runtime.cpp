// A stand-in for a C++Builder runtime module: the five names only that runtime exports
// (testing/bcb_runtime.def), among them the pointer its abnormal termination calls through.
// Unhooked, the termination ends the process with 7.

#include <windows.h>

extern "C" {

void StandinExceptionHandler() {}
void StandinThrow() {}
void* StandinMalloc(unsigned size)
{
    return ::HeapAlloc(::GetProcessHeap(), 0, size);
}
void StandinClear() {}

void StandinTerminate()
{
    ::ExitProcess(7);
}

__declspec(dllexport) void (*TerminatePointer)() = &StandinTerminate;
}
