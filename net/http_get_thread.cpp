#include "net/http_get_thread.h"

#include "net/http_url.h"
#include "net/internet_handle.h"

#include <windows.h>
#include <wininet.h>

namespace net {
namespace {

constexpr DWORD ChunkSize = 1025;
constexpr char FormContentType[] = "Content-Type: application/x-www-form-urlencoded";
static_assert(sizeof(FormContentType) - 1 == 47);

// The worker's three internet handles, closed request first, then connection, then session.
struct Handles
{
    InternetHandle Session, Connect, Request;
    void CloseHandles()
    {
        Request.Reset();
        Connect.Reset();
        Session.Reset();
    }
    ~Handles() { CloseHandles(); }
};

} // namespace

THTTPGetThread::THTTPGetThread(THTTPGet& owner, bool toFile)
    : TThread(true), FTAcceptTypes(owner.AcceptTypes), FTAgent(owner.Agent), FTURL(owner.URL),
      FTFileName(owner.FileName), FTUserName(owner.UserName), FTPassword(owner.Password),
      FTPostQuery(owner.PostQuery), FTReferer(owner.Referer), FTBinaryData(owner.BinaryData),
      FTUseCache(owner.UseCache), FTToFile(toFile), FTProgress(owner.OnProgress), Owner(&owner)
{
}

void THTTPGetThread::Abort()
{
    Terminate();
    FTResult = false;
}

void THTTPGetThread::ReportEnd()
{
    if (Owner)
        Owner->ThreadDone(*this);
}

void THTTPGetThread::Execute()
{
    try {
        Transfer();
    } catch (...) {
        FTFailed = true;
    }
}

void THTTPGetThread::UpdateProgress()
{
    // Not for a component that is gone: its handler may belong to a destroyed window.
    if (Owner && FTProgress)
        FTProgress(this, FTFileSize, static_cast<int32_t>(BytesReaded));
}

void THTTPGetThread::Transfer()
{
    const TParsedURL url = ParseURL(FTURL);
    if (Terminated()) {
        FTResult = false;
        return;
    }
    Handles h;
    // Every way out below closes the handles (Handles' destructor) in the required order;
    // a stop also leaves the result false.
    auto stop = [&] {
        h.CloseHandles();
        FTResult = false;
    };

    h.Session.Reset(::InternetOpenA(FTAgent.empty() ? nullptr : FTAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                    nullptr, nullptr, 0));
    h.Connect.Reset(::InternetConnectA(h.Session.Get(), url.Host.c_str(),
                                       url.Secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT,
                                       FTUserName.c_str(), FTPassword.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
    const bool post = !FTPostQuery.empty();
    const char* acceptTypes[] = {FTAcceptTypes.c_str(), nullptr};
    DWORD flags = FTUseCache ? 0 : INTERNET_FLAG_RELOAD;
    if (url.Secure)
        flags |= INTERNET_FLAG_SECURE;
    h.Request.Reset(::HttpOpenRequestA(h.Connect.Get(), post ? "POST" : "GET", url.Object.c_str(), "HTTP/1.0",
                                       FTReferer.c_str(), acceptTypes, flags, 0));
    if (post)
        ::HttpSendRequestA(h.Request.Get(), FormContentType, sizeof(FormContentType) - 1,
                           const_cast<char*>(FTPostQuery.data()), static_cast<DWORD>(FTPostQuery.size()));
    else
        ::HttpSendRequestA(h.Request.Get(), nullptr, 0, nullptr, 0);
    if (Terminated())
        return stop();

    DWORD contentLength = 0, size = sizeof(contentLength);
    FTResult = ::HttpQueryInfoA(h.Request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                &contentLength, &size, nullptr) != FALSE;
    if (Terminated())
        return stop();
    if (!FTResult && FTBinaryData)
        return; // nothing is read and no file is made

    if (FTResult)
        FTFileSize = static_cast<int32_t>(contentLength);
    BytesReaded = 0;
    base::FileHandle file;
    if (FTToFile) {
        file.Reset(::CreateFileW(FTFileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            FTFailed = true;
            return stop();
        }
    } else {
        FTStringResult.clear();
    }

    char buffer[ChunkSize];
    for (;;) {
        if (Terminated()) {
            file.Reset();
            return stop();
        }
        BytesToRead = 0;
        DWORD received = 0;
        if (!::InternetReadFile(h.Request.Get(), buffer, ChunkSize, &received) || received == 0)
            break;
        BytesToRead = received;
        if (FTToFile) {
            DWORD written = 0;
            if (!::WriteFile(file.Get(), buffer, BytesToRead, &written, nullptr) || written != BytesToRead) {
                FTFailed = true;
                file.Reset();
                return stop();
            }
        } else {
            FTStringResult.append(buffer, BytesToRead);
        }
        BytesReaded += BytesToRead;
        if (FTProgress)
            Synchronize([this] { UpdateProgress(); });
    }

    // An abort that came while the last chunk was handled still counts: the outcome below
    // never turns an aborted transfer into a success.
    const bool complete = FTToFile ? static_cast<uint32_t>(FTFileSize) == BytesReaded : BytesReaded != 0;
    file.Reset();
    FTResult = complete && !Terminated();
}

} // namespace net
