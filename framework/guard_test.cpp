#include "framework/guard.h"

#include "framework/exception.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace framework {
namespace {

void ReadAddressZero()
{
    volatile int* p = nullptr;
    (void)*p;
}

// An OS exception must not disturb the frames that are still live below the boundary.
volatile int Quotient;

__attribute__((noinline)) void DivideBy(int d)
{
    volatile int divisor = d;
    Quotient = 100 / divisor;
}

TEST(Guard, NormalReturnGivesNoException)
{
    int calls = 0;
    EXPECT_EQ(Guarded([&] { ++calls; }), nullptr);
    EXPECT_EQ(calls, 1);
}

TEST(Guard, CatchesCppExceptionsOfAnyType)
{
    auto error = Guarded([] { throw Exception(L"click failed"); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(ExceptionMessage(error), L"click failed");

    error = Guarded([] { throw std::runtime_error("standard"); });
    EXPECT_EQ(ExceptionMessage(error), L"standard");

    error = Guarded([] { throw 42; });
    EXPECT_EQ(ExceptionMessage(error), L"Unknown exception.");
}

TEST(Guard, TurnsOsExceptionsIntoEExternal)
{
    auto error = Guarded([] { ReadAddressZero(); });
    ASSERT_NE(error, nullptr);
    try {
        std::rethrow_exception(error);
    } catch (const EExternal& e) {
        EXPECT_EQ(e.Code(), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
        EXPECT_NE(e.Message().find(L"Access violation at address"), std::wstring::npos);
        EXPECT_NE(e.Message().find(L"Read of address 00000000"), std::wstring::npos);
    }

    error = Guarded([] { DivideBy(0); });
    EXPECT_EQ(ExceptionMessage(error), L"Division by zero");

    error = Guarded([] { ::RaiseException(0xE0001234, 0, 0, nullptr); });
    EXPECT_EQ(ExceptionMessage(error), L"External exception E0001234");
}

TEST(Guard, NestedBoundariesCatchInnermostFirstAndChainStaysIntact)
{
    EXCEPTION_REGISTRATION_RECORD* before;
    asm volatile("movl %%fs:0, %0" : "=r"(before));
    std::exception_ptr inner;
    auto outer = Guarded([&] {
        inner = Guarded([] { ReadAddressZero(); });
        // Still protected after the inner boundary caught its fault.
        ReadAddressZero();
    });
    EXCEPTION_REGISTRATION_RECORD* after;
    asm volatile("movl %%fs:0, %0" : "=r"(after));
    EXPECT_NE(inner, nullptr);
    EXPECT_NE(outer, nullptr);
    EXPECT_EQ(before, after);
    // Many faults in a row: the stack and the frame chain do not drift.
    for (int i = 0; i < 1000; ++i)
        ASSERT_NE(Guarded([] { ReadAddressZero(); }), nullptr);
    asm volatile("movl %%fs:0, %0" : "=r"(after));
    EXPECT_EQ(before, after);
}

TEST(Guard, LocalsOfTheCallerSurviveAnOsException)
{
    volatile int a = 1, b = 2, c = 3;
    auto error = Guarded([] { DivideBy(0); });
    EXPECT_NE(error, nullptr);
    EXPECT_EQ(a + b + c, 6);
}

TEST(OsExceptionMessage, NamesWriteAndExecuteAccess)
{
    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    record.ExceptionAddress = reinterpret_cast<void*>(0x00401000);
    record.NumberParameters = 2;
    record.ExceptionInformation[0] = 1;
    record.ExceptionInformation[1] = 0x1234;
    EXPECT_EQ(OsExceptionMessage(record), L"Access violation at address 00401000. Write of address 00001234");
    record.ExceptionInformation[0] = 8;
    EXPECT_EQ(OsExceptionMessage(record),
              L"Access violation at address 00401000. Execution of address 00001234");
}

} // namespace
} // namespace framework
