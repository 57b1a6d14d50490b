#pragma once
// The framework's exception types. Code of this program throws `Exception` (or a type
// derived from it); operating-system exceptions caught at a framework boundary are turned
// into `EExternal` objects that carry a copy of the OS exception record.

#include <windows.h>

#include <exception>
#include <string>

namespace framework {

class Exception : public std::exception
{
public:
    explicit Exception(std::wstring message);
    const std::wstring& Message() const noexcept { return FMessage; }
    void SetMessage(std::wstring message);
    const char* what() const noexcept override { return FWhat.c_str(); }

private:
    std::wstring FMessage;
    std::string FWhat;
};

// A value that could not be converted (a number or hexadecimal text that isn't one).
class EConvertError : public Exception
{
public:
    using Exception::Exception;
};

class EExternal : public Exception
{
public:
    explicit EExternal(const EXCEPTION_RECORD& record);
    const EXCEPTION_RECORD& ExceptionRecord() const noexcept { return FRecord; }
    DWORD Code() const noexcept { return FRecord.ExceptionCode; }

private:
    EXCEPTION_RECORD FRecord;
};

// The user-facing text of an OS exception ("Access violation at address 00401000. Read of
// address 00000000", "Division by zero", ...).
std::wstring OsExceptionMessage(const EXCEPTION_RECORD& record);

// The message of any caught exception: the framework message, else what() of a standard
// exception as UTF-8, else a fixed text for objects of unknown type.
std::wstring ExceptionMessage(const std::exception_ptr& error);

} // namespace framework
