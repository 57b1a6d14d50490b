#pragma once
// Raise-time state. The runtime's throw is wrapped (linker --wrap=__cxa_throw): the first
// throw of an object captures the CPU context, the raise address and the stack into
// a TRaiseStackInfo (carried by a BaseException itself, by a side table for other types,
// freed with the object), and the chain of inner exceptions the object was raised for. The
// end of a catch block is wrapped too (--wrap=__cxa_end_catch): while hidden exceptions are
// reported, an exception that a catch block handled for good is dispatched as hidden.

#include "crash/core/intercept/cpp_type_names.h"
#include "crash/core/intercept/raise_stack_info.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <typeinfo>

namespace crash {

// One inner exception of a chain, the newest first.
struct TInnerException
{
    std::string ExceptClass;
    std::string ExceptMessage;
    bool ExtException = false; // an EExternal
    bool BcbTermination = false;
    uint32_t ExceptAddr = 0;
    uint8_t Context[204] = {};
    std::unique_ptr<TInnerException> Inner; // the next older one
};

// The object an exception_ptr holds, and its type (null for none).
const void* ThrownObject(const std::exception_ptr& e) noexcept;
const std::type_info* ThrownType(const std::exception_ptr& e) noexcept;

// The object as a T when a `catch (T&)` would take it (its class is T or derives from it).
template <class T> const T* CaughtAs(const std::exception_ptr& e) noexcept
{
    const std::type_info* type = ThrownType(e);
    void* adjusted = const_cast<void*>(ThrownObject(e));
    return type && adjusted && typeid(T).__do_catch(type, &adjusted, 1) ? static_cast<const T*>(adjusted)
                                                                        : nullptr;
}

// The readable name of the thrown type ("int", "std::runtime_error").
std::string ThrownClassName(const std::exception_ptr& e);

// The raise-time state of the thrown object, or null when its throw captured none.
const TRaiseStackInfo* RaiseStackInfoOf(const std::exception_ptr& e) noexcept;
// The same, with the prepared stack made from the stack copied at the throw (once).
const TRaiseStackInfo* PreparedRaiseStackInfoOf(const std::exception_ptr& e) noexcept;

// A raise-time state captured now for a raise whose raiser returns to `returnAddress` and
// whose frame (its saved frame pointer, then that return address) is at `frame`: the
// context as it was there, the stack from there up copied. Null without memory. Freed
// with FreeRaiseStackInfo.
TRaiseStackInfo* CaptureRaiseStackInfo(const void* returnAddress, const uint32_t* frame) noexcept;
// Makes the prepared stack from the copied one, once.
void PrepareRaiseStack(TRaiseStackInfo* info) noexcept;

// The inner exceptions the object was raised for (a BaseException raised as the outer one,
// a std::nested_exception), as captured at its throw; null for none. Freed with the object.
const TInnerException* InnerExceptionsOf(const std::exception_ptr& e) noexcept;

// Whether throws capture their raise-time state (while the interception runs).
void SetRaiseCapture(bool on) noexcept;

// Whether exceptions handled by the program's own catch blocks are dispatched as hidden
// (while hidden-exception handlers are registered).
void SetHiddenExceptionsReported(bool reported) noexcept;
bool HiddenExceptionsReported() noexcept;

// Marks the object as reported, so that the end of the catch block that handled it does
// not report it again as hidden (a BaseException's message becomes one NUL character).
void MarkReported(const std::exception_ptr& e) noexcept;

} // namespace crash
