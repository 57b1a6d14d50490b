#pragma once
// Call chains whose true shape is known, for the tracer's accuracy test: each case runs on
// a thread of its own and ends in Blocked(), which spins until the test has captured the
// thread's context. The functions are never inlined; the names the test expects are the
// ones below.

namespace accuracy {

// Where every case ends: it tells the test that it arrived and spins until released.
void Blocked();

// Ten levels compiled without optimization (frame pointers everywhere).
void O0Chain();
// Ten levels compiled with -O2 -fomit-frame-pointer.
void O2Chain();
// Calls through a table of function pointers and through virtual methods (-O2).
void IndirectChain();
// Direct recursion, ten deep, and mutual recursion, eight deep (-O2).
void DirectRecursion();
void MutualRecursion();
// A tail call (-O2): TailCaller jumps to TailCallee, whose frame alone is on the stack.
void TailChain();
// Return addresses of other code kept in local variables of live frames (-O2).
void FalseCandidates();
// A frame whose uninitialized buffer still holds the return addresses of a deep call that
// has returned (-O0).
void StaleChain();
// Through a library without debug information, which calls back (-O2).
void LibraryChain();
// Through the system: a code-page enumeration calls back (-O2).
void SystemCallbackChain();

} // namespace accuracy
