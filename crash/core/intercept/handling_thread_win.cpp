#include "crash/core/intercept/handling_thread_win.h"

#include "crash/core/intercept/thread_registry_win.h"

#include "base/seh_frame.h"

namespace crash {
namespace {

// Reads exactly `size` bytes; false at the end of the pipe or on a failure.
bool ReadWhole(HANDLE pipe, void* out, DWORD size)
{
    auto* bytes = static_cast<uint8_t*>(out);
    while (size) {
        DWORD got = 0;
        if (!::ReadFile(pipe, bytes, size, &got, nullptr) || got == 0)
            return false;
        bytes += got;
        size -= got;
    }
    return true;
}

} // namespace

bool THandlingThread::Start(THandoffProcessor processor)
{
    if (FThread)
        return true;
    FProcessor = processor;
    HANDLE read = nullptr, write = nullptr;
    if (!::CreatePipe(&read, &write, nullptr, 0))
        return false;
    FRead.Reset(read);
    FWrite.Reset(write);
    FThread.Reset(::CreateThread(nullptr, 0, &THandlingThread::Proc, this, 0, &FThreadId));
    if (!FThread) {
        FRead.Reset();
        FWrite.Reset();
        return false;
    }
    ::SetThreadPriority(FThread.Get(), THREAD_PRIORITY_HIGHEST);
    RegisterThreadInfo(FThreadId, FThread.Get(), "Vexcatch - HandleExceptionThread", ::GetCurrentThreadId(),
                       0, nullptr);
    return true;
}

void THandlingThread::Stop()
{
    if (!FThread)
        return;
    const THandoffRecord end{};
    Handoff(end);
    if (::WaitForSingleObject(FThread.Get(), 500) != WAIT_OBJECT_0 &&
        ::WaitForSingleObject(FThread.Get(), 50) != WAIT_OBJECT_0)
        ::TerminateThread(FThread.Get(), 0);
    UnregisterThread(FThreadId);
    FThread.Reset();
    FWrite.Reset();
    FRead.Reset();
    FThreadId = 0;
}

base::KernelHandle THandlingThread::DuplicateThreadHandle() const
{
    HANDLE copy = nullptr;
    if (!FThread || !::DuplicateHandle(::GetCurrentProcess(), FThread.Get(), ::GetCurrentProcess(), &copy,
                                       SYNCHRONIZE, FALSE, 0))
        return {};
    return base::KernelHandle(copy);
}

bool THandlingThread::Handoff(const THandoffRecord& record)
{
    // A handling thread that has ended reads no more: records would fill the pipe until a
    // write blocks for ever.
    if (!FThread || ::WaitForSingleObject(FThread.Get(), 0) != WAIT_TIMEOUT)
        return false;
    DWORD written = 0;
    return FWrite && ::WriteFile(FWrite.Get(), &record, sizeof record, &written, nullptr) &&
           written == sizeof record;
}

void THandlingThread::ProcessHere(const THandoffRecord& record) const
{
    // A processor that fails (an OS or a C++ exception) ends that record, not the thread.
    EXCEPTION_RECORD failed;
    base::CallUnderSehFrame(
        [&] {
            try {
                if (FProcessor)
                    FProcessor(record);
            } catch (...) {
            }
        },
        failed);
}

DWORD WINAPI THandlingThread::Proc(void* self)
{
    auto* t = static_cast<THandlingThread*>(self);
    THandoffRecord record;
    while (ReadWhole(t->FRead.Get(), &record, sizeof record) && record.Event) {
        t->ProcessHere(record);
        ::SetEvent(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(record.Event)));
        // A catching thread that waits in its message loop wakes up.
        ::PostThreadMessageW(record.ThreadId, WM_NULL, 0, 0);
    }
    return 0;
}

} // namespace crash
