// A stand-in for a host's runtime package (rtl150.bpl), exported under the runtime's names
// (testing/rtl_package.def): ShowException, and LoadPackage calling InitializePackage, which
// raises the runtime's exception (code 0x0EEDFADE with the raise address and the object) for
// the module 0x5150.

#include <windows.h>

extern "C" {

__declspec(dllexport) int UnhookedCalls = 0;

void StandinFreeMem(void*) {}

[[gnu::regparm(3)]] void StandinShowException(void*, void*)
{
    ++UnhookedCalls;
}

[[gnu::regparm(3), gnu::noipa]] void StandinInitializePackage(HMODULE module)
{
    if (module == reinterpret_cast<HMODULE>(0x5150)) {
        const ULONG_PTR parameters[2] = {0x7777, 0x6666};
        ::RaiseException(0x0EEDFADE, EXCEPTION_NONCONTINUABLE, 2, parameters);
    }
}

[[gnu::regparm(3), gnu::noipa]] void StandinLoadPackage(const char*)
{
    StandinInitializePackage(reinterpret_cast<HMODULE>(0x5150));
    ++UnhookedCalls;
}
}
