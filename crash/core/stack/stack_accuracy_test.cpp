// The tracer against call chains whose truth is known, and against dbghelp's StackWalk64 on
// the same captured contexts. Each case runs on a thread of its own until it spins in
// Blocked(); this thread suspends it, captures its context and traces it both ways. The
// table of both is printed; the tracer must find every true frame and report no false one.

#include "base/win_handle.h"
#include "crash/core/stack/stack_tracer_win.h"
#include "crash/core/stack/testing/accuracy_chains.h"
#include "crash/core/stack/testing/stack_walk64.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace accuracy {

std::atomic<bool> Arrived{false}, Released{false};

__attribute__((noinline)) void Blocked()
{
    Arrived = true;
    while (!Released)
        YieldProcessor();
    asm volatile("" ::: "memory");
}

} // namespace accuracy

namespace crash {
namespace {

// Every function of the cases, by the name the test matches.
const std::vector<std::string> AllNames = {"Blocked",
                                           "RunCase",
                                           "O0Chain",
                                           "O0Level1",
                                           "O0Level2",
                                           "O0Level3",
                                           "O0Level4",
                                           "O0Level5",
                                           "O0Level6",
                                           "O0Level7",
                                           "O0Level8",
                                           "O0Level9",
                                           "O0Level10",
                                           "O2Chain",
                                           "O2Level1",
                                           "O2Level2",
                                           "O2Level3",
                                           "O2Level4",
                                           "O2Level5",
                                           "O2Level6",
                                           "O2Level7",
                                           "O2Level8",
                                           "O2Level9",
                                           "O2Level10",
                                           "IndirectChain",
                                           "VirtualCaller",
                                           "TFirstStep.Step",
                                           "TLastStep.Step",
                                           "PointerTarget",
                                           "DirectRecursion",
                                           "Recurse",
                                           "MutualRecursion",
                                           "Even",
                                           "Odd",
                                           "TailChain",
                                           "TailChainStart",
                                           "TailCaller",
                                           "TailCallee",
                                           "FalseCandidates",
                                           "HoldsCodeAddresses",
                                           "DecoyCall",
                                           "ReturnAddressOfCaller",
                                           "StaleChain",
                                           "DeepFill",
                                           "ShallowWithBuffer",
                                           "LibraryChain",
                                           "LibraryCallback",
                                           "ForwardCall",
                                           "SystemCallbackChain",
                                           "CodePageCallback"};

// Whether a reported function name is `name`: the name as a whole, after a scope.
bool Names(const std::string& reported, const std::string& name)
{
    for (size_t at = reported.find(name); at != std::string::npos; at = reported.find(name, at + 1)) {
        const bool startOk =
            at == 0 || reported[at - 1] == '.' || reported[at - 1] == ':' || reported[at - 1] == ' ';
        const size_t end = at + name.size();
        const bool endOk =
            end == reported.size() || reported[end] == '(' || reported[end] == ' ' || reported[end] == '@';
        if (startOk && endOk)
            return true;
    }
    return false;
}

struct TScore
{
    int Found = 0, False = 0;
    bool Ordered = true; // the true frames found come in their order (first occurrences)
};

TScore Score(const std::vector<std::string>& reported, const std::vector<std::string>& expected)
{
    TScore s;
    size_t last = 0;
    for (const std::string& e : expected) {
        const auto at =
            std::find_if(reported.begin(), reported.end(), [&](const std::string& r) { return Names(r, e); });
        if (at == reported.end())
            continue;
        ++s.Found;
        const auto position = static_cast<size_t>(at - reported.begin());
        s.Ordered = s.Ordered && position >= last;
        last = position;
    }
    for (const std::string& r : reported) {
        const bool known =
            std::any_of(AllNames.begin(), AllNames.end(), [&](const std::string& n) { return Names(r, n); });
        const bool wanted =
            std::any_of(expected.begin(), expected.end(), [&](const std::string& e) { return Names(r, e); });
        s.False += known && !wanted;
    }
    return s;
}

std::string Narrow(const std::u16string& text)
{
    return {text.begin(), text.end()};
}

struct TCase
{
    const char* Name;
    void (*Run)();
    std::vector<std::string> Expected;
};

DWORD WINAPI RunCase(void* parameter)
{
    reinterpret_cast<void (*)()>(parameter)();
    asm volatile("" ::: "memory");
    return 0;
}

struct TOutcome
{
    TScore Ours, Walk;
    std::string Text;
};

TOutcome Capture(const TCase& c)
{
    accuracy::Arrived = false;
    accuracy::Released = false;
    DWORD id = 0;
    base::KernelHandle thread(::CreateThread(nullptr, 0, &RunCase, reinterpret_cast<void*>(c.Run), 0, &id));
    EXPECT_TRUE(thread.Valid());
    for (int i = 0; i < 5000 && !accuracy::Arrived; ++i)
        ::Sleep(1);
    EXPECT_TRUE(accuracy::Arrived) << c.Name;
    ::SuspendThread(thread.Get());
    CONTEXT context{};
    context.ContextFlags = CONTEXT_FULL;
    ::GetThreadContext(thread.Get(), &context);
    TTraceRequest request;
    request.Text = {true, true};
    const TTraceResult ours = TraceContext(context, StackTopOf(thread.Get()), request);
    std::vector<std::string> ourNames;
    for (const TStackLine& line : ours.Lines)
        ourNames.push_back(Narrow(line.FunctionName));
    const std::vector<std::string> walkNames = testing::StackWalk64Names(thread.Get(), context);
    accuracy::Released = true;
    ::ResumeThread(thread.Get());
    ::WaitForSingleObject(thread.Get(), 10000);
    return {Score(ourNames, c.Expected), Score(walkNames, c.Expected), Narrow(ours.Text)};
}

TEST(StackAccuracy, TrueFramesFoundAndFalseOnesLeftOutBesideStackWalk64)
{
    using namespace accuracy;
    const std::vector<TCase> cases = {
        {"10 levels, -O0",
         &O0Chain,
         {"Blocked", "O0Level10", "O0Level9", "O0Level8", "O0Level7", "O0Level6", "O0Level5", "O0Level4",
          "O0Level3", "O0Level2", "O0Level1", "O0Chain", "RunCase"}},
        {"10 levels, -O2 -fomit-frame-pointer",
         &O2Chain,
         {"Blocked", "O2Level10", "O2Level9", "O2Level8", "O2Level7", "O2Level6", "O2Level5", "O2Level4",
          "O2Level3", "O2Level2", "O2Level1", "O2Chain", "RunCase"}},
        {"pointers and virtual methods",
         &IndirectChain,
         {"Blocked", "PointerTarget", "TLastStep.Step", "TFirstStep.Step", "VirtualCaller", "IndirectChain",
          "RunCase"}},
        {"direct recursion", &DirectRecursion, {"Blocked", "Recurse", "DirectRecursion", "RunCase"}},
        {"mutual recursion", &MutualRecursion, {"Blocked", "Even", "Odd", "MutualRecursion", "RunCase"}},
        {"tail call", &TailChain, {"Blocked", "TailCallee", "TailChainStart", "TailChain", "RunCase"}},
        {"code addresses in locals",
         &FalseCandidates,
         {"Blocked", "HoldsCodeAddresses", "FalseCandidates", "RunCase"}},
        {"stale return addresses", &StaleChain, {"Blocked", "ShallowWithBuffer", "StaleChain", "RunCase"}},
        {"library without information",
         &LibraryChain,
         {"Blocked", "LibraryCallback", "ForwardCall", "LibraryChain", "RunCase"}},
        {"callback from the system",
         &SystemCallbackChain,
         {"Blocked", "CodePageCallback", "SystemCallbackChain", "RunCase"}},
    };
    int trueFrames = 0;
    TScore ours, walk;
    std::printf("%-38s %5s | %12s | %12s\n", "case", "true", "ours (false)", "StackWalk64 (false)");
    for (const TCase& c : cases) {
        const TOutcome o = Capture(c);
        const int count = static_cast<int>(c.Expected.size());
        std::printf("%-38s %5d | %6d (%2d)  | %6d (%2d)\n", c.Name, count, o.Ours.Found, o.Ours.False,
                    o.Walk.Found, o.Walk.False);
        trueFrames += count;
        ours.Found += o.Ours.Found, ours.False += o.Ours.False;
        walk.Found += o.Walk.Found, walk.False += o.Walk.False;
        EXPECT_EQ(o.Ours.Found, count) << c.Name << "\n" << o.Text;
        EXPECT_EQ(o.Ours.False, 0) << c.Name << "\n" << o.Text;
        EXPECT_TRUE(o.Ours.Ordered) << c.Name << "\n" << o.Text;
    }
    std::printf("%-38s %5d | %6d (%2d)  | %6d (%2d)\n", "all", trueFrames, ours.Found, ours.False, walk.Found,
                walk.False);
}

} // namespace
} // namespace crash
