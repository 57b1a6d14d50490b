#include "framework/exception.h"

#include "base/utf_win.h"

#include <cwchar>

namespace framework {

Exception::Exception(std::wstring message)
{
    SetMessage(std::move(message));
}

void Exception::SetMessage(std::wstring message)
{
    FMessage = std::move(message);
    FWhat = base::WideToUtf8(FMessage);
}

EExternal::EExternal(const EXCEPTION_RECORD& record) : Exception(OsExceptionMessage(record)), FRecord(record)
{
    // The chained record belongs to the stack frame that raised it and is gone by now.
    FRecord.ExceptionRecord = nullptr;
}

std::wstring OsExceptionMessage(const EXCEPTION_RECORD& record)
{
    wchar_t text[160];
    const auto address = reinterpret_cast<ULONG_PTR>(record.ExceptionAddress);
    switch (record.ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION: {
        const wchar_t* kind = L"Read";
        ULONG_PTR target = 0;
        if (record.NumberParameters >= 2) {
            if (record.ExceptionInformation[0] == 1)
                kind = L"Write";
            else if (record.ExceptionInformation[0] == 8)
                kind = L"Execution";
            target = record.ExceptionInformation[1];
        }
        std::swprintf(text, std::size(text), L"Access violation at address %08lX. %ls of address %08lX",
                      static_cast<unsigned long>(address), kind, static_cast<unsigned long>(target));
        return text;
    }
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
        return L"Division by zero";
    case EXCEPTION_INT_OVERFLOW:
        return L"Integer overflow";
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
        return L"Floating point division by zero";
    case EXCEPTION_FLT_OVERFLOW:
        return L"Floating point overflow";
    case EXCEPTION_FLT_UNDERFLOW:
        return L"Floating point underflow";
    case EXCEPTION_FLT_INVALID_OPERATION:
        return L"Invalid floating point operation";
    case EXCEPTION_PRIV_INSTRUCTION:
        return L"Privileged instruction";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
        return L"Illegal instruction";
    case EXCEPTION_STACK_OVERFLOW:
        return L"Stack overflow";
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
        return L"Range check error";
    default:
        std::swprintf(text, std::size(text), L"External exception %08lX",
                      static_cast<unsigned long>(record.ExceptionCode));
        return text;
    }
}

std::wstring ExceptionMessage(const std::exception_ptr& error)
{
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return base::Utf8ToWide(e.what());
    } catch (...) {
        return L"Unknown exception.";
    }
}

} // namespace framework
