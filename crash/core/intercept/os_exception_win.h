#pragma once
// Operating-system exceptions that have no exception object of the runtime: their object
// (an EExternal, or an EExternalException for a code the runtime has no message of, with
// the message of os_exception_message.h and the module of the exception address looked up)
// and ReportOsException, which dispatches one.

#include <windows.h>

#include <exception>

namespace crash {

std::exception_ptr OsExceptionObject(const EXCEPTION_RECORD& record);

// Dispatches the OS exception with its object, esSystemExceptionHandler and the context;
// it cannot continue.
void ReportOsException(const EXCEPTION_RECORD& record, const CONTEXT& context);

} // namespace crash
