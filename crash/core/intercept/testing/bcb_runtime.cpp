// A stand-in for a C++Builder runtime module: the five names only that runtime exports
// (testing/bcb_runtime.def). Its throw routine keeps a frame, allocates the object's copy
// through its malloc and raises the runtime's exception code with the copy; its abnormal
// termination is called through an exported pointer and, unhooked, ends the process with 7.

#include <windows.h>

#include <cstring>

extern "C" {

void StandinExceptionHandler() {}

[[gnu::noipa]] void* StandinMalloc(unsigned size)
{
    return ::HeapAlloc(::GetProcessHeap(), 0, size);
}

[[gnu::noipa, gnu::optimize("no-omit-frame-pointer")]] void StandinThrow(const void* object, unsigned size)
{
    void* copy = StandinMalloc(size);
    if (!copy)
        return;
    std::memcpy(copy, object, size);
    const ULONG_PTR parameters[] = {reinterpret_cast<ULONG_PTR>(copy)};
    ::RaiseException(0x0EEDFAE6, EXCEPTION_NONCONTINUABLE, 1, parameters);
}

void StandinClear() {}

void StandinTerminate()
{
    ::ExitProcess(7);
}

__declspec(dllexport) void (*TerminatePointer)() = &StandinTerminate;
}
