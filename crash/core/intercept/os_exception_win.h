#pragma once
// Operating-system exceptions that have no exception object of the runtime: their object
// (an EExternal, or an EExternalException for a code the runtime has no message of, with
// the message of os_exception_message.h and the module of the exception address looked up).
// The handling pipeline makes it on its own thread from the record that was handed over:
// the thread that failed allocates nothing.

#include <windows.h>

#include <exception>

namespace crash {

std::exception_ptr OsExceptionObject(const EXCEPTION_RECORD& record);

} // namespace crash
