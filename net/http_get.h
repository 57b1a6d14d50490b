#pragma once
// THTTPGet: a non-visual component that fetches one URL over HTTP or HTTPS into a file
// (GetFile) or a text (GetString) on a worker thread of its own, one per transfer.
// Progress and the end are reported as events on the main thread.
//
// Texts that travel on the wire are 8-bit in the system's ANSI code page; the target
// file name is UTF-16, so that folders outside the code page work.

#include "framework/object.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace net {

class THTTPGetThread;

using TOnProgressEvent = std::function<void(framework::TObject* Sender, int32_t TotalSize, int32_t Readed)>;
using TOnDoneFileEvent =
    std::function<void(framework::TObject* Sender, const std::wstring& FileName, int32_t FileSize)>;
using TOnDoneStringEvent = std::function<void(framework::TObject* Sender, const std::string& Result)>;

// The agent name the component sends unless told otherwise.
extern const char* const DefaultAgent;

class THTTPGet : public framework::TComponent
{
public:
    explicit THTTPGet(framework::TComponent* AOwner);
    // Aborts a running transfer; its end is then never reported to this destroyed object.
    ~THTTPGet() override;

    std::string AcceptTypes = "*/*";
    std::string Agent = DefaultAgent;
    // When true, a response whose length can't be learned counts as failed and isn't read.
    bool BinaryData = false;
    std::string URL;
    // When false, the request bypasses any cached copy and reloads from the server.
    bool UseCache = false;
    std::wstring FileName;
    std::string UserName;
    std::string Password;
    // When not empty, the request is a POST with this body.
    std::string PostQuery;
    std::string Referer;
    // When true, GetFile waits (dispatching messages) until its end has been reported, and
    // GetString dispatches the messages that are waiting before it returns.
    bool WaitThread = false;

    // Sender of OnProgress is the worker (THTTPGetThread); of the others, the component.
    TOnProgressEvent OnProgress;
    TOnDoneFileEvent OnDoneFile;
    TOnDoneStringEvent OnDoneString;
    framework::TNotifyEvent OnError;

    // Start a transfer; each does nothing while the component is busy.
    void GetFile();
    void GetString();
    // Asks a running transfer to stop; its end is reported through OnError.
    void Abort();
    bool Busy() const noexcept { return FThread != nullptr; }

private:
    friend class THTTPGetThread;
    void Start(bool toFile);
    void ThreadDone(THTTPGetThread& thread);

    THTTPGetThread* FThread = nullptr;
    // False once the component is destroyed; held by waits and handlers that may outlive it.
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

} // namespace net
