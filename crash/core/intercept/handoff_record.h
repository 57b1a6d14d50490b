#pragma once
// The record a catching thread writes whole into the handling thread's pipe: 144 bytes,
// every pointer and handle as the 32-bit value it is in this program. A record whose event
// is 0 tells the handling thread to end.

#include <cstdint>

namespace crash {

struct THandoffRecord
{
    uint32_t Event;        // signalled when the pipeline is done with the record
    uint32_t ThreadId;     // the catching thread
    uint32_t ExceptType;   // TExceptType in the low byte; RuntimeObjectFlag in the padding
    uint32_t ExceptObject; // the C++ exception (a std::exception_ptr*), or a runtime's object, or 0
    uint32_t ExceptAddress;
    uint32_t CanContinue;        // a byte, padded
    uint32_t Esp, Ebp;           // stack and frame pointer at the catch
    uint32_t Context;            // pointer to a CPU context, or 0
    uint8_t ExceptionRecord[80]; // the OS exception record of the catching thread
    uint32_t BugReportTarget;    // a std::string* to receive the report text, or 0
    uint32_t Source;             // TExceptSource, padded
    uint32_t RelatedObject;      // the sender of an application-level handler, or the thread object
    uint32_t Package;            // module handle of a package whose initialization failed
    uint32_t PreparedStack;      // pointer to the stack prepared at raise time
    uint32_t PreparedStackLength;
    uint32_t Inner; // the newest inner exception of the catching thread, or 0
};
static_assert(sizeof(THandoffRecord) == 144, "the pipe carries records of exactly 144 bytes");

// Set in ExceptType when ExceptObject is the exception object of another runtime (a runtime
// package's) rather than a std::exception_ptr*.
constexpr uint32_t RuntimeObjectFlag = 0x100;

} // namespace crash
