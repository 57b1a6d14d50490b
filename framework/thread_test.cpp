#include "framework/thread.h"

#include "base/window_class.h"
#include "framework/application.h"
#include "framework/exception.h"
#include "framework/testing/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

namespace framework {
namespace {

using testing::PumpUntil;

class FunctionThread : public TThread
{
public:
    explicit FunctionThread(std::function<void(FunctionThread&)> body) : TThread(true), FBody(std::move(body))
    {
    }
    using TThread::Synchronize;

protected:
    void Execute() override { FBody(*this); }

private:
    std::function<void(FunctionThread&)> FBody;
};

class Threads : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App.Initialize();
        App.OnException = [this](TObject* sender, std::exception_ptr e) {
            Sender = sender;
            Message = ExceptionMessage(e);
        };
    }
    TApplication App;
    TObject* Sender = nullptr;
    std::wstring Message;
};

TEST_F(Threads, SynchronizedCallsRunOnTheMainThreadWhileTheWorkerWaits)
{
    std::atomic<DWORD> ranOn{0};
    std::atomic<bool> workerSawResult{false};
    int value = 0;
    FunctionThread thread([&](FunctionThread& self) {
        self.Synchronize([&] {
            ranOn = ::GetCurrentThreadId();
            value = 42;
        });
        workerSawResult = value == 42;
    });
    thread.Start();
    ASSERT_TRUE(PumpUntil([&] { return thread.Finished(); }));
    EXPECT_EQ(ranOn.load(), ::GetCurrentThreadId());
    EXPECT_TRUE(workerSawResult);
}

TEST_F(Threads, ExceptionInASynchronizedCallReachesHandleExceptionAndTheWorkerGoesOn)
{
    std::atomic<bool> continued{false};
    FunctionThread thread([&](FunctionThread& self) {
        self.Synchronize([] { throw Exception(L"sync failed"); });
        self.Synchronize([] {
            volatile int* p = nullptr;
            (void)*p;
        });
        continued = true;
    });
    thread.Start();
    ASSERT_TRUE(PumpUntil([&] { return thread.Finished(); }));
    EXPECT_TRUE(continued);
    EXPECT_EQ(Sender, &thread);
    EXPECT_NE(Message.find(L"Access violation"), std::wstring::npos);
}

std::atomic<DWORD> ReceivedOn{0};

LRESULT CALLBACK ReceiverProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_APP + 7)
        ReceivedOn = ::GetCurrentThreadId();
    return ::DefWindowProcW(w, m, wp, lp);
}

TEST_F(Threads, MessagesPostedByAWorkerArriveOnTheMainThread)
{
    base::Window receiver = base::CreateMessageWindow(L"ThreadTestReceiver", &ReceiverProc);
    HWND target = receiver.Get();
    FunctionThread thread([target](FunctionThread&) { ::PostMessageW(target, WM_APP + 7, 0, 0); });
    thread.Start();
    ASSERT_TRUE(PumpUntil([&] { return ReceivedOn != 0; }));
    EXPECT_EQ(ReceivedOn.load(), ::GetCurrentThreadId());
}

TEST_F(Threads, AThreadNeverStartedEndsWithItsObjectWithoutRunning)
{
    bool ran = false;
    HANDLE copy = nullptr;
    {
        FunctionThread thread([&](FunctionThread&) { ran = true; });
        ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), thread.Handle(), ::GetCurrentProcess(), &copy, 0,
                                      FALSE, DUPLICATE_SAME_ACCESS));
    }
    base::KernelHandle system(copy);
    EXPECT_EQ(::WaitForSingleObject(system.Get(), 0), WAIT_OBJECT_0); // the system thread is gone
    EXPECT_FALSE(ran);
}

TEST_F(Threads, OnTerminateRunsOnTheMainThreadAndFreeOnTerminateDeletes)
{
    static std::atomic<int> destroyed{0};
    class SelfFreeing : public TThread
    {
    public:
        SelfFreeing() : TThread(true) {}
        ~SelfFreeing() override { ++destroyed; }

    protected:
        void Execute() override {}
    };
    auto* thread = new SelfFreeing;
    DWORD terminateOn = 0;
    thread->FreeOnTerminate = true;
    thread->OnTerminate = [&](TObject*) { terminateOn = ::GetCurrentThreadId(); };
    thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return destroyed == 1; }));
    EXPECT_EQ(terminateOn, ::GetCurrentThreadId());
}

TEST_F(Threads, WaitForOnTheMainThreadKeepsSynchronizedCallsRunning)
{
    int synced = 0;
    FunctionThread thread([&](FunctionThread& self) {
        for (int i = 0; i < 10; ++i)
            self.Synchronize([&] { ++synced; });
    });
    thread.OnTerminate = [&](TObject*) { ++synced; };
    thread.Start();
    thread.WaitFor();
    EXPECT_EQ(synced, 11);
}

TEST_F(Threads, ExceptionEscapingExecuteIsKeptAsFatalException)
{
    FunctionThread thread([](FunctionThread&) { throw Exception(L"execute failed"); });
    thread.Start();
    thread.WaitFor();
    EXPECT_EQ(ExceptionMessage(thread.FatalException()), L"execute failed");
}

} // namespace
} // namespace framework
