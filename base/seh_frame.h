#pragma once
// Calls a function under an SEH frame of its own (on i686 registered through fs:[0]). An
// OS exception raised inside it is caught there: the frames above are unwound with
// RtlUnwind and the call returns false with the exception's record. C++ destructors of the
// frames in between do not run for OS exceptions (this compiler's C++ unwinding knows
// nothing of SEH); C++ exceptions pass through untouched.

#include <windows.h>

#include <type_traits>

namespace base {

bool CallUnderSehFrame(void (*fn)(void*), void* arg, EXCEPTION_RECORD& caught);

// As above; `first` sees the exception with its CPU context before anything is unwound (on
// the faulting thread, where the exception happened).
using TFirstSight = void (*)(const EXCEPTION_RECORD& record, const CONTEXT& context, void* data);
bool CallUnderSehFrame(void (*fn)(void*), void* arg, EXCEPTION_RECORD& caught, TFirstSight first, void* data);

template <class F> bool CallUnderSehFrame(F&& f, EXCEPTION_RECORD& caught)
{
    return CallUnderSehFrame([](void* p) { (*static_cast<std::remove_reference_t<F>*>(p))(); },
                             const_cast<void*>(static_cast<const void*>(&f)), caught);
}

// Runs `body` so that nothing escapes it: an OS exception is caught by an SEH frame, a C++
// exception by a catch-all. For code that must go on whatever a part of it does (a hook's
// body, a handler of the program, a step of the report). True when `body` ran to its end.
template <class F> bool Guarded(F&& body) noexcept
{
    try {
        EXCEPTION_RECORD caught;
        return CallUnderSehFrame(body, caught);
    } catch (...) {
        return false;
    }
}

} // namespace base
