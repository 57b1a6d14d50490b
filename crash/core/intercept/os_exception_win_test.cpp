// The object of an OS exception that has none: its message with the module looked up, its
// class, its copy of the record.

#include "crash/core/intercept/os_exception_win.h"

#include "base/hex.h"
#include "crash/core/intercept/base_exception.h"
#include "crash/core/intercept/raise_state_win.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

EXCEPTION_RECORD Record(DWORD code, const void* at, ULONG_PTR write = 0, ULONG_PTR accessed = 0)
{
    EXCEPTION_RECORD r{};
    r.ExceptionCode = code;
    r.ExceptionAddress = const_cast<void*>(at);
    r.NumberParameters = 2;
    r.ExceptionInformation[0] = write;
    r.ExceptionInformation[1] = accessed;
    return r;
}

std::string Message(const std::exception_ptr& e)
{
    const auto* x = CaughtAs<EExternal>(e);
    return x ? x->what() : "(no EExternal)";
}

TEST(OsExceptionObject, AnAccessViolationNamesTheModuleWhoseCodeFaulted)
{
    const void* here = reinterpret_cast<const void*>(&OsExceptionObject);
    const EXCEPTION_RECORD r = Record(EXCEPTION_ACCESS_VIOLATION, here, 1, 0x10);
    const std::exception_ptr e = OsExceptionObject(r);
    EXPECT_EQ(Message(e), "Zugriffsverletzung bei Adresse " +
                              base::HexText(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(here))) +
                              " in Modul 'crash_intercept_test.exe'. Schreiben von Adresse $10");
    EXPECT_FALSE(CaughtAs<EExternalException>(e));
    const auto* copy = static_cast<const EXCEPTION_RECORD*>(CaughtAs<EExternal>(e)->OsRecord());
    EXPECT_EQ(copy->ExceptionCode, EXCEPTION_ACCESS_VIOLATION);
    EXPECT_EQ(copy->ExceptionInformation[1], 0x10u);

    // Outside any module, and reading.
    EXPECT_EQ(Message(OsExceptionObject(Record(EXCEPTION_ACCESS_VIOLATION, reinterpret_cast<void*>(0x10)))),
              "Access Violation");
}

TEST(OsExceptionObject, ACodeWithoutAMessageIsAnExternalException)
{
    const std::exception_ptr e = OsExceptionObject(Record(0xE0001234, nullptr));
    EXPECT_EQ(Message(e), "Externe Exception $e0001234");
    EXPECT_TRUE(CaughtAs<EExternalException>(e));
    EXPECT_EQ(Message(OsExceptionObject(Record(EXCEPTION_INT_DIVIDE_BY_ZERO, nullptr))),
              "Division durch Null");
}

} // namespace
} // namespace crash
