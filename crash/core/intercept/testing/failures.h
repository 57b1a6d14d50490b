#pragma once
// The failures the crash tests' children cause on purpose, each as a program causes it:
// faults of the processor, exceptions raised and thrown, the runtime's own ends.

#include "base/proc_address.h"
#include "crash/core/intercept/base_exception.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/raise_state_win.h"

#include <windows.h>

#include <float.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

// What the vtable slot of a pure virtual method holds: a call that reaches it is a pure call
// (the compiler removes a pure call it can see, so the test calls the slot's routine).
extern "C" void __cxa_pure_virtual();

namespace crash::testing {

inline volatile int Zero = 0;
// Where the failing function returns to: a stack prepared at a throw in it holds this.
inline uint32_t FailCaller = 0;

inline std::vector<char*>& Kept()
{
    static std::vector<char*> kept;
    return kept;
}

[[gnu::noinline]] inline int Deeper(int n)
{
    volatile char page[1024];
    page[0] = static_cast<char>(n);
    return Zero >= 0 ? Deeper(n + 1) + page[0] : 0;
}

// The debugger's thread-naming exception, raised as programs raise it: no debugger is
// there to take it. The thread is the calling one unless given.
inline void NameThread(const char* name, DWORD thread = static_cast<DWORD>(-1))
{
    const ULONG_PTR info[4] = {0x1000, reinterpret_cast<ULONG_PTR>(name), thread, 0};
    ::RaiseException(0x406D1388, 0, 4, info);
}

struct TThrowsWhenDestroyed
{
    ~TThrowsWhenDestroyed() noexcept(false) { throw std::runtime_error("thrown by a destructor"); }
};

// The CRT's check of its arguments, reached as a program reaches it.
inline void PassInvalidParameter()
{
    using TStrcpyS = int(__cdecl*)(char*, size_t, const char*);
    if (auto strcpyS = base::ProcAddress<TStrcpyS>(::GetModuleHandleW(L"msvcrt.dll"), "strcpy_s"))
        strcpyS(nullptr, 0, nullptr);
}

// Fails as `kind` says (see the kinds below); false for a kind it does not know.
[[gnu::noinline]] inline bool Fail(const std::string& k)
{
    FailCaller = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
    if (k == "av-read")
        std::printf("%d\n", *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(Zero + 8)));
    else if (k == "av-write")
        *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(Zero + 16)) = 1;
    else if (k == "av-exec")
        reinterpret_cast<void (*)()>(static_cast<uintptr_t>(Zero + 32))();
    else if (k == "div0")
        std::printf("%d\n", 10 / Zero);
    else if (k == "int3")
        __asm__ volatile("int3");
    else if (k == "illegal")
        __asm__ volatile("ud2");
    else if (k == "privileged")
        __asm__ volatile("hlt");
    else if (k == "raise")
        ::RaiseException(0xE0001234, 0, 0, nullptr);
    else if (k == "heap-corruption")
        ::RaiseException(0xC0000374, EXCEPTION_NONCONTINUABLE, 0, nullptr); // as the heap reports it
    else if (k == "fast-fail")
        // As a CRT reports a damaged stack cookie where the fast-fail instruction is missing.
        // The instruction itself (int 0x29) ends the process past every handler, under Wine as
        // under Windows: no program can report it.
        ::RaiseException(0xC0000409, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    else if (k == "throw-std")
        throw std::runtime_error("thrown on purpose");
    else if (k == "throw-int")
        throw 42;
    else if (k == "throw-inner") {
        try {
            throw std::logic_error("the cause");
        } catch (...) {
            BaseException::RaiseOuter(BaseException("what it caused"));
        }
    } else if (k == "rethrow") {
        try {
            throw std::runtime_error("thrown once");
        } catch (...) {
            throw;
        }
    } else if (k == "throw-in-unwind") {
        TThrowsWhenDestroyed destroyed;
        throw std::runtime_error("unwinding");
    } else if (k == "fpu") {
        _controlfp(0, _EM_ZERODIVIDE); // division by zero now faults
        volatile double zero = 0;
        std::printf("%f\n", 1.0 / zero);
    } else if (k == "eabort")
        throw EAbort("quietly");
    else if (k == "invalid-parameter")
        PassInvalidParameter();
    else if (k == "hidden") {
        // Handled by the program: reported as hidden once its catch block ends for good (not
        // when an inner catch block rethrows it), and not again when it was reported already.
        SetHiddenExceptionsReported(true);
        try {
            try {
                throw std::runtime_error("handled");
            } catch (...) {
                throw;
            }
        } catch (...) {
        }
        try {
            throw BaseException("reported in its catch block");
        } catch (...) {
            DispatchException({});
        }
        try {
            throw 7;
        } catch (...) {
            DispatchException({});
        }
        // An object made, not thrown (nothing captured at a throw), reported in its block.
        try {
            std::rethrow_exception(std::make_exception_ptr(std::runtime_error("made")));
        } catch (...) {
            DispatchException({});
        }
    } else if (k == "abort")
        std::abort();
    else if (k == "terminate")
        std::terminate();
    else if (k == "pure-call")
        __cxa_pure_virtual();
    else if (k == "oom") {
        // Address space runs out (the blocks are never touched, so no memory is used).
        for (;;)
            Kept().push_back(new char[64 << 20]);
    } else if (k == "stack-overflow")
        std::printf("%d\n", Deeper(0));
    else if (k == "thread-name")
        NameThread("named on purpose");
    else
        return false;
    return true;
}

} // namespace crash::testing
