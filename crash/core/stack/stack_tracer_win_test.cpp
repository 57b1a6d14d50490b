// The tracer on this process: the calling thread's own stack, and foreign memory that must
// be read without a fault (guard pages stay guarded, unmapped memory is passed over).

#include "crash/core/stack/stack_tracer_win.h"

#include "base/win_handle.h"
#include "crash/core/stack/prepared_stack.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace crash {
namespace {

std::string Narrow(const std::u16string& text)
{
    return {text.begin(), text.end()};
}

__attribute__((noinline)) TTraceResult TracesItsCaller()
{
    TTraceResult r = TraceCallingThread({});
    asm volatile("" ::: "memory");
    return r;
}

TEST(StackTracerInProcess, TheCallingThreadFromItsCaller)
{
    const TTraceResult r = TracesItsCaller();
    ASSERT_GE(r.Lines.size(), 2u) << Narrow(r.Text);
    EXPECT_NE(Narrow(r.Lines[0].FunctionName).find("TracesItsCaller"), std::string::npos) << Narrow(r.Text);
    EXPECT_NE(Narrow(r.Lines[1].FunctionName).find("TheCallingThreadFromItsCaller"), std::string::npos)
        << Narrow(r.Text);
    EXPECT_EQ(Narrow(r.Lines[0].ModuleName), "crash_stack_win_test.exe");
    EXPECT_GT(r.Lines[0].Line, 0u);
}

TEST(StackTracerInProcess, GuardPagesAndUnmappedMemoryAreReadWithoutAFault)
{
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    const DWORD page = system.dwPageSize;
    const base::VirtualMemory memory(::VirtualAlloc(nullptr, 3 * page, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_TRUE(memory.Valid());
    auto* block = static_cast<uint8_t*>(memory.Get());
    ASSERT_NE(::VirtualAlloc(block, page, MEM_COMMIT, PAGE_READWRITE), nullptr);
    ASSERT_NE(::VirtualAlloc(block + page, page, MEM_COMMIT, PAGE_READWRITE | PAGE_GUARD), nullptr);
    // The third page stays reserved only. The fake stack: values into the guard page, into
    // the reserved page, into unmapped memory, and a frame chain that loops.
    auto* slots = reinterpret_cast<uint32_t*>(block);
    const auto at = [&](const uint8_t* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); };
    for (DWORD k = 0; k < page / 4; ++k)
        slots[k] = k % 3 == 0   ? at(block + page + 8 * k % page)
                   : k % 3 == 1 ? at(block + 2 * page + 4 * k)
                                : 0x10 + k;
    slots[4] = at(block + 16);
    CONTEXT context{};
    context.Esp = at(block);
    context.Ebp = at(block + 16);
    context.Eip = at(block + page + 32); // the exception "happened" in the guard page
    TTraceRequest request;
    request.IsException = true;
    request.ExternalException = true;
    const TTraceResult r = TraceContext(context, at(block + page), request);
    EXPECT_FALSE(r.Text.empty());
    MEMORY_BASIC_INFORMATION info;
    ASSERT_EQ(::VirtualQuery(block + page, &info, sizeof info), sizeof info);
    EXPECT_TRUE(info.Protect & PAGE_GUARD); // never touched
}

[[gnu::noipa]] uint32_t ReturnAddress()
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}

// A stack that overflowed is copied from both ends: the pass over the copy finds the calls in
// both parts, outermost first, and reads nothing of the stack between them, though that
// memory is there to read.
TEST(StackTracerInProcess, AStackCopiedFromBothEndsIsReadFromTheCopiesOnly)
{
    const uint32_t newest = ReturnAddress();
    const uint32_t between = ReturnAddress();
    const uint32_t outermost = ReturnAddress();
    ASSERT_NE(newest, between);
    std::vector<uint32_t> stack(3 * 1024); // three parts of 4 KB
    stack[10] = newest;
    stack[1024 + 10] = between;
    stack[2048 + 10] = outermost;
    const uint32_t bottom = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(stack.data()));
    const auto bytes = [&](size_t slot) { return reinterpret_cast<const uint8_t*>(&stack[slot]); };
    const std::vector<uint8_t> prepared =
        PrepareCopiedStack({bytes(0), 4096}, bottom, {bytes(2048), 4096}, bottom + 3 * 4096, 0);
    const std::vector<TPreparedEntry> entries = ReadPreparedStack(prepared);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Address, outermost);
    EXPECT_EQ(entries[1].Address, newest);
    // Without its outermost part the copy is the stack's newest bytes only.
    const std::vector<TPreparedEntry> newestOnly =
        ReadPreparedStack(PrepareCopiedStack({bytes(0), 4096}, bottom, {}, 0, 0));
    ASSERT_EQ(newestOnly.size(), 1u);
    EXPECT_EQ(newestOnly[0].Address, newest);
}

} // namespace
} // namespace crash
