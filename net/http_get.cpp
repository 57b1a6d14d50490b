#include "net/http_get.h"

#include "net/http_get_thread.h"

#include <windows.h>

#include <optional>

namespace net {

const char* const DefaultAgent = "Lumigate HTTPGet";

namespace {

// Dispatches one waiting message of the calling thread; false when there was none. A quit
// message is kept aside (in `quit`) and posted again by the caller once its wait is over,
// so that closing the program during a wait isn't lost.
bool DispatchOne(std::optional<WPARAM>& quit)
{
    MSG msg;
    if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        return false;
    if (msg.message == WM_QUIT) {
        quit = msg.wParam;
        return true;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
    return true;
}

} // namespace

THTTPGet::THTTPGet(framework::TComponent* AOwner) : TComponent(AOwner) {}

THTTPGet::~THTTPGet()
{
    Abort();
    if (FThread)
        FThread->Owner = nullptr;
    *FAlive = false;
}

void THTTPGet::GetFile()
{
    Start(true);
}

void THTTPGet::GetString()
{
    Start(false);
}

void THTTPGet::Abort()
{
    if (FThread)
        FThread->Abort();
}

void THTTPGet::Start(bool toFile)
{
    if (FThread)
        return;
    auto* thread = new THTTPGetThread(*this, toFile);
    thread->FreeOnTerminate = true;
    thread->OnTerminate = [thread](framework::TObject*) { thread->ReportEnd(); };
    FThread = thread;
    thread->Start();
    if (!WaitThread)
        return;

    // A handler that runs inside the wait may destroy this component.
    const std::shared_ptr<bool> alive = FAlive;
    std::optional<WPARAM> quit;
    if (toFile) {
        // The end of the transfer arrives as a message (a synchronized call), so waiting for
        // the next message when the queue is empty keeps every order of the busy loop
        // without keeping a processor busy.
        while (*alive && FThread) {
            if (!DispatchOne(quit))
                ::MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
    } else {
        while (DispatchOne(quit)) {
        }
    }
    if (quit)
        ::PostQuitMessage(static_cast<int>(*quit));
}

void THTTPGet::ThreadDone(THTTPGetThread& thread)
{
    // Cleared only after the handler (a transfer started from inside it does nothing), and
    // however the handler ends: its exception goes on to the application's handling, and
    // the worker, which deletes itself next, must not stay behind as the busy transfer.
    struct TClearWhenDone
    {
        THTTPGet& Get;
        std::shared_ptr<bool> Alive;
        ~TClearWhenDone()
        {
            if (*Alive)
                Get.FThread = nullptr;
        }
    } clear{*this, FAlive};
    // Abort and this report both run on the main thread, so asking the worker whether it
    // was told to stop settles a race that its own result cannot: an abort that came while
    // it stored a success still ends the transfer as failed.
    const bool result =
        thread.FTResult && !thread.Terminated() && !thread.FTFailed && !thread.FatalException();
    if (result && thread.FTToFile) {
        if (OnDoneFile)
            OnDoneFile(this, thread.FTFileName, thread.FTFileSize);
    } else if (result) {
        if (OnDoneString)
            OnDoneString(this, thread.FTStringResult);
    } else if (OnError) {
        OnError(this);
    }
}

} // namespace net
