#pragma once
// The exception boundary of every place where user32 calls back into the program (window
// procedures, timers) and of synchronized calls. Neither a C++ exception nor an OS
// exception may travel past such a boundary: C++ exceptions cannot unwind through user32
// frames, and Windows silently swallows OS exceptions that leave a window procedure.
//
// An OS exception is caught by an SEH frame of the boundary's own (base/seh_frame.h);
// C++ exceptions by a C++ catch.

#include <exception>
#include <type_traits>
#include <utility>

namespace framework {

// Runs fn(arg); returns the exception that escaped it (an `EExternal` for OS exceptions),
// or null when it returned normally.
std::exception_ptr CallGuarded(void (*fn)(void*), void* arg) noexcept;

template <class F> std::exception_ptr Guarded(F&& f) noexcept
{
    return CallGuarded([](void* p) { (*static_cast<std::remove_reference_t<F>*>(p))(); },
                       const_cast<void*>(static_cast<const void*>(&f)));
}

} // namespace framework
