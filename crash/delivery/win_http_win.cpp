#include "crash/delivery/win_http_win.h"

#include "base/ascii_case.h"
#include "base/base64.h"
#include "base/srw_lock.h"
#include "crash/delivery/attachment_files_win.h"
#include "crash/delivery/mail_address.h"

#include <shellapi.h>

#include <mutex>
#include <vector>

namespace crash {
namespace {

// A reply larger than this is no answer of an upload script or a tracker.
constexpr uint64_t MaxReply = 16u << 20;
// Sending again after an authentication or a resend the platform asked for; more is a loop.
constexpr int MaxAttempts = 3;

std::wstring Wide(std::u16string_view text)
{
    return std::wstring(text.begin(), text.end());
}

std::u16string Narrowed(std::wstring_view text)
{
    return std::u16string(text.begin(), text.end());
}

// 8-bit header text, byte for character.
std::u16string Latin1(std::string_view text)
{
    std::u16string out;
    for (const char c : text)
        out.push_back(static_cast<unsigned char>(c));
    return out;
}

base::SrwLock OutcomeLock;
THttpOutcome Outcome;

void OpenInBrowser(const std::wstring& url)
{
    ::ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
TUrlOpener RedirectOpener = &OpenInBrowser;

// A failure of the secure channel, the server's certificate among them.
bool IsSecureError(DWORD error)
{
    switch (error) {
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
        return true;
    default:
        return false;
    }
}

// The system's text of a WinHTTP or system error.
std::u16string ErrorText(DWORD error)
{
    // What the common failures mean, where the system has no text of its own (Wine has none
    // for WinHTTP's errors).
    static constexpr std::pair<DWORD, const wchar_t*> Known[] = {
        {ERROR_WINHTTP_TIMEOUT, L"The server did not answer in time"},
        {ERROR_WINHTTP_NAME_NOT_RESOLVED, L"The server's name is not known"},
        {ERROR_WINHTTP_CANNOT_CONNECT, L"No connection to the server"},
        {ERROR_WINHTTP_CONNECTION_ERROR, L"The connection to the server broke off"},
        {ERROR_WINHTTP_INVALID_SERVER_RESPONSE, L"The server's answer is not HTTP"},
        {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, L"No secure connection to the server could be made"}};
    wchar_t* text = nullptr;
    const bool ours = error >= WINHTTP_ERROR_BASE && error <= WINHTTP_ERROR_LAST;
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                        (ours ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM),
                                    ours ? ::GetModuleHandleW(L"winhttp.dll") : nullptr, error, 0,
                                    reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const base::LocalMemory owner(text);
    std::wstring result = text ? std::wstring(text, length) : std::wstring();
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' '))
        result.pop_back();
    for (const auto& [code, meaning] : Known)
        if (error == code && result.empty())
            result = meaning;
    if (IsSecureError(error) && error != ERROR_WINHTTP_SECURE_CHANNEL_ERROR &&
        error != ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED)
        result = L"The server's certificate does not verify (it is not issued to this server by a trusted "
                 L"authority, or not valid now)" +
                 (result.empty() ? L"" : L": " + result);
    return Narrowed(result + L" (error " + std::to_wstring(error) + L")");
}

// The header's value of the current request, or empty.
std::wstring HeaderOf(HINTERNET request, DWORD query)
{
    DWORD size = 0;
    ::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size,
                          WINHTTP_NO_HEADER_INDEX);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (!::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                               WINHTTP_NO_HEADER_INDEX))
        return {};
    value.resize(size / sizeof(wchar_t));
    return value;
}

} // namespace

THttpOutcome LastHttpOutcome()
{
    std::lock_guard lock(OutcomeLock);
    return Outcome;
}

void SetLastIssueId(const std::u16string& id)
{
    std::lock_guard lock(OutcomeLock);
    Outcome.IssueId = id;
}

void SetRedirectOpener(TUrlOpener opener)
{
    RedirectOpener = opener ? opener : &OpenInBrowser;
}

bool IsWebAddress(std::u16string_view url)
{
    const auto starts = [&](std::u16string_view scheme) {
        return url.size() > scheme.size() &&
               base::AsciiEqualIgnoringCase(url.substr(0, scheme.size()), scheme);
    };
    return starts(u"http://") || starts(u"https://");
}

TWinHttp::TWinHttp(const THttpTarget& target, IReportSettings* settings, IProgressAlert* progress)
    : FTarget(target), FSettings(settings), FProgress(progress)
{
    std::u16string_view url = FTarget.Url;
    if (const size_t scheme = url.find(u"://"); scheme != std::u16string_view::npos)
        url.remove_prefix(scheme + 3);
    const size_t slash = url.find(u'/');
    FServer = std::u16string(url.substr(0, slash));
    if (slash != std::u16string_view::npos)
        FUrl = std::u16string(url.substr(slash));
    // A port in the URL is the one meant, whatever the port setting says.
    if (const size_t colon = FServer.rfind(u':'); colon != std::u16string::npos && FServer.back() != u']') {
        uint32_t port = 0;
        const std::u16string_view digits = std::u16string_view(FServer).substr(colon + 1);
        for (const char16_t c : digits)
            port = c >= u'0' && c <= u'9' && port <= 65535 ? port * 10 + (c - u'0') : 0x10000;
        if (!digits.empty() && port > 0 && port <= 65535) {
            FTarget.Port = port;
            FServer.resize(colon);
        }
    }
}

bool TWinHttp::Fail(uint32_t error, const std::u16string& text)
{
    FLastErrorNo = error;
    FLastErrorStr = text;
    std::lock_guard lock(OutcomeLock);
    Outcome.ErrorNo = error;
    Outcome.ErrorText = text;
    return false;
}

bool TWinHttp::FailSystem(DWORD error)
{
    return Fail(error, ErrorText(error));
}

bool TWinHttp::FailAnswer(const std::u16string& text)
{
    return FAnswerCut ? Fail(FCutErrorNo, FCutError) : Fail(TrackerError, text);
}

bool TWinHttp::Connect()
{
    if (FConnect)
        return true;
    if (!FSession) {
        FSession.Reset(::WinHttpOpen(L"Vexcatch/4.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                     WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
        if (!FSession)
            return FailSystem(::GetLastError());
        const int timeout = static_cast<int>(FTarget.TimeoutMs);
        ::WinHttpSetTimeouts(FSession.Get(), timeout, timeout, timeout, timeout);
    }
    FConnect.Reset(
        ::WinHttpConnect(FSession.Get(), Wide(FServer).c_str(), static_cast<INTERNET_PORT>(FTarget.Port), 0));
    return FConnect || FailSystem(::GetLastError());
}

bool TWinHttp::OpenRequest(std::u16string_view path, const wchar_t* verb)
{
    FRequest.Reset();
    FRetrySend = false;
    if (!Connect())
        return false;
    const std::wstring object = path.empty() ? L"/" : Wide(path);
    FRequest.Reset(::WinHttpOpenRequest(FConnect.Get(), verb, object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                        WINHTTP_DEFAULT_ACCEPT_TYPES, FTarget.Ssl ? WINHTTP_FLAG_SECURE : 0));
    if (!FRequest)
        return FailSystem(::GetLastError());
    HINTERNET request = FRequest.Get();
    if (FTarget.AcceptAnyCertificate) {
        DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                      SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
        ::WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    }
    DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
    ::WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects);
    std::wstring proxy = Wide(FTarget.ProxyServer), bypass = Wide(FTarget.ProxyBypass);
    if (proxy.empty())
        proxy = FProxyList, bypass = FProxyBypass;
    if (!proxy.empty()) {
        WINHTTP_PROXY_INFO info{WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.data(),
                                bypass.empty() ? nullptr : bypass.data()};
        ::WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof info);
    }
    if (FServerAuthScheme)
        ::WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_SERVER, FServerAuthScheme,
                                Wide(FTarget.HttpUser).c_str(), Wide(FTarget.HttpPassword).c_str(), nullptr);
    return true;
}

bool TWinHttp::AddHeaderData(std::u16string_view line)
{
    const std::wstring header = Wide(line);
    return ::WinHttpAddRequestHeaders(FRequest.Get(), header.c_str(), static_cast<DWORD>(header.size()),
                                      WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE) ||
           FailSystem(::GetLastError());
}

// The browser's proxy configuration of the user; failing that, automatic detection (DHCP and
// DNS) or the configuration script the browser names, with automatic logon. Tried once.
bool TWinHttp::DetectProxy()
{
    FProxyDone = true;
    // The texts the system hands over are this function's to free.
    const auto owned = [](wchar_t* text) { return base::GlobalMemory(text); };
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    const bool known = ::WinHttpGetIEProxyConfigForCurrentUser(&config);
    const base::GlobalMemory autoConfigUrl = owned(config.lpszAutoConfigUrl),
                             configProxy = owned(config.lpszProxy),
                             configBypass = owned(config.lpszProxyBypass);
    if (known && config.lpszProxy && *config.lpszProxy) {
        FProxyList = config.lpszProxy;
        FProxyBypass = config.lpszProxyBypass ? config.lpszProxyBypass : L"";
        return true;
    }
    WINHTTP_AUTOPROXY_OPTIONS options{};
    options.fAutoLogonIfChallenged = TRUE;
    if (known && config.lpszAutoConfigUrl && *config.lpszAutoConfigUrl) {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = config.lpszAutoConfigUrl;
    } else {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    const std::wstring url = (FTarget.Ssl ? L"https://" : L"http://") + Wide(FServer) + Wide(FUrl);
    WINHTTP_PROXY_INFO info{};
    const bool asked = ::WinHttpGetProxyForUrl(FSession.Get(), url.c_str(), &options, &info);
    const base::GlobalMemory proxy = owned(info.lpszProxy), bypass = owned(info.lpszProxyBypass);
    if (!asked || !info.lpszProxy || !*info.lpszProxy)
        return false;
    FProxyList = info.lpszProxy;
    FProxyBypass = info.lpszProxyBypass ? info.lpszProxyBypass : L"";
    return true;
}

bool TWinHttp::SendRequest(std::string_view data, uint64_t following)
{
    const uint64_t total = data.size() + following;
    if (total > 0xFFFFFFFFu)
        return Fail(ERROR_FILE_TOO_LARGE, u"The upload is larger than 4 GB.");
    if (FProxyAuthScheme)
        ::WinHttpSetCredentials(FRequest.Get(), WINHTTP_AUTH_TARGET_PROXY, FProxyAuthScheme,
                                Wide(FTarget.ProxyUser).c_str(), Wide(FTarget.ProxyPassword).c_str(),
                                nullptr);
    const auto send = [&] {
        return ::WinHttpSendRequest(FRequest.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                                    0, static_cast<DWORD>(total), 0) != FALSE;
    };
    if (!send()) {
        const DWORD error = ::GetLastError();
        // A server that cannot be reached may be behind a proxy the system knows of.
        if (IsSecureError(error) || FProxyDone || !FTarget.ProxyServer.empty() || !DetectProxy())
            return FailSystem(error);
        WINHTTP_PROXY_INFO info{WINHTTP_ACCESS_TYPE_NAMED_PROXY, FProxyList.data(),
                                FProxyBypass.empty() ? nullptr : FProxyBypass.data()};
        ::WinHttpSetOption(FRequest.Get(), WINHTTP_OPTION_PROXY, &info, sizeof info);
        if (!send())
            return FailSystem(::GetLastError());
    }
    return SendData(data);
}

bool TWinHttp::SendData(std::string_view data)
{
    while (!data.empty()) {
        DWORD written = 0;
        if (!::WinHttpWriteData(FRequest.Get(), data.data(), static_cast<DWORD>(data.size()), &written))
            return FailSystem(::GetLastError());
        if (written == 0)
            return FailSystem(ERROR_WINHTTP_CONNECTION_ERROR);
        data.remove_prefix(written);
    }
    return true;
}

bool TWinHttp::SendFile(HANDLE file, uint64_t size, bool base64)
{
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
        return FailSystem(::GetLastError());
    // Base64 in whole groups of three bytes, so that the pieces join into one text.
    std::vector<char> block(base64 ? 1536 : 2048);
    for (uint64_t done = 0; done < size;) {
        const DWORD wanted = static_cast<DWORD>(std::min<uint64_t>(block.size(), size - done));
        DWORD read = 0;
        if (!::ReadFile(file, block.data(), wanted, &read, nullptr))
            return FailSystem(::GetLastError());
        // The length was announced: a file that shrank cannot fill it.
        if (read != wanted)
            return Fail(ERROR_HANDLE_EOF, u"An attachment changed while it was sent.");
        const std::string_view piece(block.data(), read);
        if (!SendData(base64 ? std::string_view(base::Base64(piece)) : piece))
            return false;
        done += read;
        if (FProgress)
            FProgress->SetPosition(static_cast<int32_t>(done * 1000 / size));
    }
    return true;
}

// Chooses a scheme the server offers (Negotiate, NTLM, Passport, Digest, Basic in that order
// of preference) and sets the account for it; the request is then to be sent again. Once per
// client and target: an account the server refused is not tried again.
void TWinHttp::Authenticate(DWORD target, bool& done, DWORD& scheme, const std::u16string& user)
{
    if (done || user.empty())
        return;
    done = true;
    DWORD supported = 0, first = 0, authTarget = 0;
    if (!::WinHttpQueryAuthSchemes(FRequest.Get(), &supported, &first, &authTarget))
        return;
    for (const DWORD candidate :
         {WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM, WINHTTP_AUTH_SCHEME_PASSPORT,
          WINHTTP_AUTH_SCHEME_DIGEST, WINHTTP_AUTH_SCHEME_BASIC})
        if (supported & candidate) {
            scheme = candidate;
            break;
        }
    if (!scheme)
        return;
    const bool server = target == WINHTTP_AUTH_TARGET_SERVER;
    const std::wstring name = Wide(user),
                       password = Wide(server ? FTarget.HttpPassword : FTarget.ProxyPassword);
    FRetrySend =
        ::WinHttpSetCredentials(FRequest.Get(), target, scheme, name.c_str(), password.c_str(), nullptr);
}

// Whether `received` bytes are the whole answer its header announced (one without a length
// ends where the connection ends).
bool TWinHttp::WholeAnswer(size_t received)
{
    DWORD announced = 0, size = sizeof announced;
    return !::WinHttpQueryHeaders(FRequest.Get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                                  WINHTTP_HEADER_NAME_BY_INDEX, &announced, &size, WINHTTP_NO_HEADER_INDEX) ||
           received >= announced;
}

bool TWinHttp::ReadBody(std::string& reply)
{
    const auto cut = [this](DWORD error, std::u16string text) {
        FCutErrorNo = error;
        FCutError = std::move(text);
        return false;
    };
    for (;;) {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(FRequest.Get(), &available)) {
            const DWORD error = ::GetLastError();
            return cut(error, ErrorText(error));
        }
        if (available == 0)
            return WholeAnswer(reply.size()) ||
                   cut(ERROR_WINHTTP_CONNECTION_ERROR, u"The server's answer broke off.");
        if (reply.size() + available > MaxReply)
            return cut(ERROR_FILE_TOO_LARGE, u"The server's answer is too large.");
        const size_t at = reply.size();
        reply.resize(at + available);
        DWORD read = 0;
        if (!::WinHttpReadData(FRequest.Get(), reply.data() + at, available, &read)) {
            const DWORD error = ::GetLastError();
            return cut(error, ErrorText(error));
        }
        reply.resize(at + read);
        if (read == 0)
            return WholeAnswer(reply.size()) ||
                   cut(ERROR_WINHTTP_CONNECTION_ERROR, u"The server's answer broke off.");
    }
}

bool TWinHttp::ReceiveResponse(std::string& reply)
{
    reply.clear();
    FRetrySend = false;
    FAnswerCut = false;
    if (!::WinHttpReceiveResponse(FRequest.Get(), nullptr)) {
        const DWORD error = ::GetLastError();
        FRetrySend = error == ERROR_WINHTTP_RESEND_REQUEST && !FServerAuthScheme && !FProxyAuthScheme;
        return FailSystem(error);
    }
    DWORD status = 0, size = sizeof status;
    if (!::WinHttpQueryHeaders(FRequest.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return FailSystem(::GetLastError());
    switch (status) {
    case HTTP_STATUS_OK:
        // The status decides; a body that is too large or breaks off leaves the reply short (a
        // tracker's call then finds nothing in it, and says why).
        FAnswerCut = !ReadBody(reply);
        return true;
    case HTTP_STATUS_MOVED:
    case HTTP_STATUS_REDIRECT:
    case HTTP_STATUS_REDIRECT_METHOD:
        if (const std::wstring location = HeaderOf(FRequest.Get(), WINHTTP_QUERY_LOCATION);
            !location.empty()) {
            {
                std::lock_guard lock(OutcomeLock);
                Outcome.Redirect = Narrowed(location);
            }
            // Only a web page: a server must not make this program open a file or run a
            // program.
            if (!FTarget.IgnoreRedirect && IsWebAddress(Narrowed(location)))
                RedirectOpener(location);
            FAnswerCut = !ReadBody(reply);
            return true;
        }
        break;
    case HTTP_STATUS_DENIED:
        Authenticate(WINHTTP_AUTH_TARGET_SERVER, FServerAuthDone, FServerAuthScheme, FTarget.HttpUser);
        break;
    case HTTP_STATUS_PROXY_AUTH_REQ:
        Authenticate(WINHTTP_AUTH_TARGET_PROXY, FProxyAuthDone, FProxyAuthScheme, FTarget.ProxyUser);
        break;
    }
    // A failure; its body may say why (a SOAP fault comes with status 500).
    ReadBody(reply);
    return Fail(status, u"The server answered with status " + Narrowed(std::to_wstring(status)) + u".");
}

bool TWinHttp::Exchange(const std::function<bool()>& send, std::string& reply)
{
    for (int attempt = 0; attempt < MaxAttempts; ++attempt) {
        if (!send())
            return false;
        if (ReceiveResponse(reply))
            return true;
        if (!FRetrySend)
            return false;
    }
    return false;
}

bool TWinHttp::Get(std::u16string_view path, std::string& reply)
{
    return OpenRequest(path, L"GET") && Exchange([&] { return SendRequest({}, 0); }, reply);
}

bool TWinHttp::PostXml(std::u16string_view path, std::string_view head, HANDLE file, uint64_t size,
                       std::string_view fileEnd, std::string_view end, std::string& reply)
{
    const uint64_t following = (file ? base::Base64Length(size) + fileEnd.size() : 0) + end.size();
    return Exchange(
        [&] {
            return OpenRequest(path, L"POST") && AddHeaderData(u"Content-Type: text/xml") &&
                   SendRequest(head, following) &&
                   (!file || (SendFile(file, size, true) && SendData(fileEnd))) && SendData(end);
        },
        reply);
}

bool TWinHttp::Post(std::u16string_view sender, std::span<const TFormField> fields,
                    const TPreparedDelivery& files)
{
    std::string reply;
    return InternalPost(FUrl, sender, fields, files, reply);
}

bool TWinHttp::InternalPost(std::u16string_view path, std::u16string_view sender,
                            std::span<const TFormField> fields, const TPreparedDelivery& files,
                            std::string& reply)
{
    if (!FSettings)
        return false;
    TOpenedAttachments opened;
    if (!OpenAttachmentFiles(FProgress, *FSettings, files.Files, false, false, opened))
        return Fail(ERROR_FILE_NOT_FOUND, u"No attachment could be opened.");
    const std::string fieldPart = FormFieldPart(fields), closing = FormClosing();
    std::vector<std::string> headers(opened.Handles.size());
    uint64_t following = closing.size();
    for (size_t k = 0; k < opened.Handles.size(); ++k)
        if (opened.Handles[k]) {
            headers[k] = FormFileHeader(k < files.Fields.size() ? files.Fields[k] : u"",
                                        k < files.SendAs.size() ? files.SendAs[k] : u"");
            following += headers[k].size() + opened.Sizes[k];
        }
    const int32_t area = FProgress ? FProgress->GetCurrentArea() : 0;
    return Exchange(
        [&] {
            if (FProgress) {
                FProgress->SetCurrentArea(area);
                FProgress->SetPosition(0);
            }
            if (!OpenRequest(path, L"POST") ||
                !AddHeaderData(u"Content-Type: multipart/form-data; boundary=" + Latin1(FormBoundary)))
                return false;
            if (!sender.empty() && !AddHeaderData(u"From: " + Latin1(HeaderAddress(sender))))
                return false;
            if (!SendRequest(fieldPart, following))
                return false;
            if (FProgress)
                FProgress->AreaDone();
            for (size_t k = 0; k < opened.Handles.size(); ++k)
                if (opened.Handles[k]) {
                    if (!SendData(headers[k]) || !SendFile(opened.Handles[k].Get(), opened.Sizes[k], false))
                        return false;
                    if (FProgress)
                        FProgress->AreaDone();
                }
            return SendData(closing);
        },
        reply);
}

} // namespace crash
