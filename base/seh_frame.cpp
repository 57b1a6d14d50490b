#include "base/seh_frame.h"

namespace base {
namespace {

struct GuardFrame
{
    // Must stay first: fs:[0] points at this member and the handler casts it back.
    EXCEPTION_REGISTRATION_RECORD Registration;
    void* Resume[5]; // __builtin_setjmp buffer
    EXCEPTION_RECORD Record;
    TFirstSight First;
    void* Data;
};

EXCEPTION_REGISTRATION_RECORD* TopFrame()
{
    EXCEPTION_REGISTRATION_RECORD* top;
    asm volatile("movl %%fs:0, %0" : "=r"(top));
    return top;
}

void SetTopFrame(EXCEPTION_REGISTRATION_RECORD* frame)
{
    asm volatile("movl %0, %%fs:0" : : "r"(frame) : "memory");
}

// RtlUnwind does not preserve ebx, esi and edi on x86; the clobber list makes this wrapper
// save and restore them for its caller.
__attribute__((noinline)) void UnwindTo(void* frame, EXCEPTION_RECORD* record)
{
    asm volatile("" : : : "ebx", "esi", "edi", "memory");
    ::RtlUnwind(frame, nullptr, record, nullptr);
}

EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context, void*)
{
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    auto* guard = static_cast<GuardFrame*>(frame);
    guard->Record = *record;
    // An x87 fault stays pending in the FPU's status word: the next floating-point
    // instruction (the unwinding's own, the system's) would raise it again.
    if (record->ExceptionCode >= EXCEPTION_FLT_DENORMAL_OPERAND &&
        record->ExceptionCode <= EXCEPTION_FLT_UNDERFLOW)
        asm volatile("fnclex");
    if (guard->First && context)
        guard->First(*record, *context, guard->Data);
    UnwindTo(frame, record);
    __builtin_longjmp(guard->Resume, 1);
}

} // namespace

__attribute__((noinline)) bool CallUnderSehFrame(void (*fn)(void*), void* arg, EXCEPTION_RECORD& caught)
{
    return CallUnderSehFrame(fn, arg, caught, nullptr, nullptr);
}

__attribute__((noinline)) bool CallUnderSehFrame(void (*fn)(void*), void* arg, EXCEPTION_RECORD& caught,
                                                 TFirstSight first, void* data)
{
    GuardFrame guard{};
    guard.First = first;
    guard.Data = data;
    guard.Registration.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(&GuardHandler);
    if (__builtin_setjmp(guard.Resume)) {
        // Back from the handler: RtlUnwind has left this frame on top of the chain.
        SetTopFrame(guard.Registration.Next);
        caught = guard.Record;
        return false;
    }
    guard.Registration.Next = TopFrame();
    SetTopFrame(&guard.Registration);
    try {
        fn(arg);
    } catch (...) {
        // A C++ exception passes through; the frame must not stay registered behind it.
        SetTopFrame(guard.Registration.Next);
        throw;
    }
    SetTopFrame(guard.Registration.Next);
    return true;
}

} // namespace base
