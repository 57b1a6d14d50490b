#pragma once
// The thread registry: what the process knows about its threads beyond the system's view
// (a name, the class of the thread object, who created the thread and from where), shared
// by every module of the process that carries the crash reporter. It lives in a named block
// of shared memory ("VexcatchThreadNameBuf" and the process id) that the first module
// creates with the registry's two mutexes; each further module attaches to it, the last to
// detach frees it. The report's thread list and the stack tracer read it.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace crash {

struct TThreadInfo
{
    DWORD ThreadId = 0;
    std::string Name;      // UTF-8, at most 255 bytes
    std::string ClassName; // of the thread object, when the thread has one
    uint32_t CreatorAddress = 0;
    DWORD CreatorThreadId = 0;
};

enum class TRegistryAttach
{
    Attached,
    CannotOpen, // the shared block cannot be created or opened
    CannotMap,  // ... or not mapped
};

// Attaches this module (once; a second call does nothing). The first module of the process
// registers the process's first thread as "main thread".
TRegistryAttach AttachThreadRegistry();
// Detaches this module; the last module of the process closes the registry's handles and
// frees its entries.
void DetachThreadRegistry();

// Stores what is given about a thread: null texts and 0 values keep what is stored. A
// thread registered with nothing at all is removed. The handle (when given) is duplicated
// with the rights to wait for the thread's end: entries of threads that have ended are
// dropped at the next registration.
void RegisterThreadInfo(DWORD threadId, HANDLE thread, const char* name, DWORD creatorThreadId,
                        uint32_t creatorAddress, const char* className);
// Removes the thread's entry.
void UnregisterThread(DWORD threadId);
// How long a registry operation waits for the list by default: a thread that crashed while
// it held the list must not stop the report.
constexpr DWORD RegistryWaitMs = 2000;
// The thread's entry; none when it has none or the registry stays busy for `waitMs`.
std::optional<TThreadInfo> LookupThreadInfo(DWORD threadId, DWORD waitMs = RegistryWaitMs);

// The main thread as the registry knows it (the process's first thread), 0 before attaching.
DWORD RegistryMainThreadId();
// The process's first thread (the main thread), 0 when the system cannot tell.
DWORD FirstThreadOfProcess();

// The registry's first mutex: held for its whole life by the one freeze watchdog of the
// process. Null before attaching.
HANDLE ThreadRegistryMutex();

} // namespace crash
