#pragma once
// The stack tracer on this process: its memory read through the guarded reader, its
// modules with their debug information, one set of caches for the process's life, and the
// traces of a thread from its captured context or of the calling thread itself.

#include "crash/core/stack/stack_tracer.h"

#include <windows.h>

#include <cstdint>
#include <span>

namespace crash {

// The caches every trace of this process shares.
TTracerCaches& ProcessTracerCaches();

// The top (the highest address) of a thread's stack, from its thread information block;
// 0 when it cannot be read.
uint32_t StackTopOf(HANDLE thread);

// Traces a thread whose context was captured (the thread is stopped, or the context is a
// copy): the stack from Esp up to `stackTop`, the frame pointer Ebp, the top address Eip.
// The request's stack, frame pointer and top address are taken from these. Each step of a
// trace in this process runs under an SEH frame of its own.
TTraceResult TraceContext(const CONTEXT& context, uint32_t stackTop, TTraceRequest request);

// Traces the calling thread from its caller. What the request leaves at 0 takes its default:
// the stack from the caller's stack pointer up to the top of the thread's stack, the
// caller's frame pointer, the top address the caller's return address.
TTraceResult TraceCallingThread(TTraceRequest request);

// PrepareStack over a copy of a stack taken at a throw or a fault: `newest` holds the bytes
// from `stackBottom` up as they were, and `outermost` (when not empty) the bytes that end at
// `stackTop`; the stack between the two is not read. Without `outermost` the stack ends
// where `newest` does. Code is read from this process. Empty when the pass faulted (a
// module was unloaded meanwhile) or ran out of memory.
std::vector<uint8_t> PrepareCopiedStack(std::span<const uint8_t> newest, uint32_t stackBottom,
                                        std::span<const uint8_t> outermost, uint32_t stackTop,
                                        uint32_t framePointer);

} // namespace crash
