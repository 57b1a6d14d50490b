#pragma once
// The HTTP client of the upload channels, over WinHTTP: one client per delivery, one request
// at a time. It posts a report as a multipart form to a script, and it carries the bug
// trackers' calls. Redirects are not followed: a redirect answer counts as delivered, and
// its target is opened in the browser when it is a web address. A server that asks for
// authentication gets the account on a second attempt, with the whole body again. The server's
// certificate must verify unless the settings accept any certificate.

#include "base/win_handle.h"
#include "crash/delivery/delivery_channels_win.h"
#include "crash/delivery/multipart_form.h"
#include "crash/dialogs/progress_alert.h"

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace crash {

struct WinHttpHandleTraits
{
    using Handle = HINTERNET;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::WinHttpCloseHandle(h); }
};
using WinHttpHandle = base::UniqueHandle<WinHttpHandleTraits>;

struct THttpTarget
{
    // "scheme://host:port/path": what precedes "://" is dropped, the host ends at the first "/",
    // and a port given there wins over Port.
    std::u16string Url;
    bool Ssl = false;
    uint32_t Port = 0; // 0: the scheme's port
    bool IgnoreRedirect = false;
    bool AcceptAnyCertificate = false;
    std::u16string HttpUser, HttpPassword, TrackerUser, TrackerPassword;
    std::u16string ProxyServer, ProxyBypass, ProxyUser, ProxyPassword; // none: the system's
    // How long an answer may keep the client waiting, per step.
    uint32_t TimeoutMs = 30000;
};

// The error a tracker reported (not a system error).
inline constexpr uint32_t TrackerError = 0xFFFFFFFF;

// The most recent upload's outcome in this process; the latest writer wins.
struct THttpOutcome
{
    uint32_t ErrorNo = 0; // a system error, or TrackerError
    std::u16string ErrorText, Redirect, IssueId;
};
THttpOutcome LastHttpOutcome();
void SetLastIssueId(const std::u16string& id);

// Opens a redirect target; tests replace the browser.
using TUrlOpener = void (*)(const std::wstring& url);
void SetRedirectOpener(TUrlOpener opener);
// Whether a redirect target may be opened: an http or https address and nothing else.
bool IsWebAddress(std::u16string_view url);

class TWinHttp
{
public:
    // `progress` may be null: the client then reports no progress.
    TWinHttp(const THttpTarget& target, IReportSettings* settings, IProgressAlert* progress);
    TWinHttp(const TWinHttp&) = delete;
    TWinHttp& operator=(const TWinHttp&) = delete;

    // The fields and the delivery's files as a form post to the URL's path; true on status 200
    // or a redirect.
    bool Post(std::u16string_view sender, std::span<const TFormField> fields, const TPreparedDelivery& files);
    // The same to `path`, with the answer's body.
    bool InternalPost(std::u16string_view path, std::u16string_view sender,
                      std::span<const TFormField> fields, const TPreparedDelivery& files, std::string& reply);
    // A POST of XML to `path`: `head`, then, when `file` is given, the file in Base64 and
    // `fileEnd`, then `end`; sent again while the server asks for authentication.
    bool PostXml(std::u16string_view path, std::string_view head, HANDLE file, uint64_t size,
                 std::string_view fileEnd, std::string_view end, std::string& reply);

    bool Connect();
    bool OpenRequest(std::u16string_view path, const wchar_t* verb);
    bool AddHeaderData(std::u16string_view line);
    // Sends the request announcing `data` and `following` more bytes, then `data`.
    bool SendRequest(std::string_view data, uint64_t following);
    bool SendData(std::string_view data);
    // The file from its start, raw or in Base64; the progress position follows it.
    bool SendFile(HANDLE file, uint64_t size, bool base64);
    // The answer's body on success, and as far as it came on a failure status. After a
    // failure, ResendRequested tells whether the same request is to be sent again (the server
    // asked for authentication).
    bool ReceiveResponse(std::string& reply);
    bool Get(std::u16string_view path, std::string& reply);
    bool ResendRequested() const { return FRetrySend; }

    const std::u16string& Path() const { return FUrl; }
    IReportSettings* Settings() const { return FSettings; }
    IProgressAlert* Progress() const { return FProgress; }
    void SetPosition(int32_t perMille)
    {
        if (FProgress)
            FProgress->SetPosition(perMille);
    }
    const THttpTarget& Target() const { return FTarget; }
    uint32_t LastErrorNo() const { return FLastErrorNo; }
    const std::u16string& LastErrorText() const { return FLastErrorStr; }
    // Records a failure (also as the process's last one); returns false.
    bool Fail(uint32_t error, const std::u16string& text);
    bool FailSystem(DWORD error);
    // A tracker's answer without what was asked for: fails with why the answer broke off when it
    // did (too large, the connection lost), or else as a tracker's error with `text`.
    bool FailAnswer(const std::u16string& text);

private:
    // `send` opens and sends a request whole; then the answer is read. Sent again, whole, while
    // the server or the platform asks for it (a bounded number of times).
    bool Exchange(const std::function<bool()>& send, std::string& reply);
    bool DetectProxy();
    // The answer's body into `reply`; false when it broke off or grew too large (the reason
    // in FCutErrorNo and FCutError).
    bool ReadBody(std::string& reply);
    bool WholeAnswer(size_t received);
    void Authenticate(DWORD target, bool& done, DWORD& scheme, const std::u16string& user);

    THttpTarget FTarget;
    std::u16string FServer, FUrl;
    IReportSettings* FSettings;
    IProgressAlert* FProgress;
    WinHttpHandle FSession, FConnect, FRequest;
    uint32_t FLastErrorNo = 0;
    std::u16string FLastErrorStr;
    bool FAnswerCut = false; // the last answer's body broke off
    uint32_t FCutErrorNo = 0;
    std::u16string FCutError;
    bool FProxyDone = false, FRetrySend = false;
    std::wstring FProxyList, FProxyBypass; // a proxy of the system's configuration, once found
    bool FServerAuthDone = false, FProxyAuthDone = false;
    DWORD FServerAuthScheme = 0, FProxyAuthScheme = 0;
};

} // namespace crash
