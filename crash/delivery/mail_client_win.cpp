#include "crash/delivery/mail_client_win.h"

#include "base/proc_address.h"
#include "base/utf_win.h"
#include "base/win_handle.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/pipeline/thread_pause_win.h"
#include "crash/delivery/mail_message.h"
#include "crash/delivery/mailto_link.h"

#include <mapi.h>

namespace crash {
namespace {

std::wstring Wide(std::u16string_view text)
{
    return std::wstring(text.begin(), text.end());
}

// The path as the 8-bit interface can take it: its short form when the code page cannot
// write it.
std::string AnsiPath(const std::u16string& path)
{
    const std::wstring wide = Wide(path);
    BOOL lossy = FALSE;
    const int length =
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (length > 0 && !lossy)
        return base::WideToAnsi(wide);
    wchar_t shortPath[MAX_PATH * 2] = L"";
    const DWORD got = ::GetShortPathNameW(wide.c_str(), shortPath, MAX_PATH * 2);
    return base::WideToAnsi(got && got < MAX_PATH * 2 ? std::wstring_view(shortPath, got)
                                                      : std::wstring_view(wide));
}

// A top-most window stops being so while the mail client's windows are up.
class TNotTopMost
{
public:
    explicit TNotTopMost(HWND window)
        : FWindow(window && (::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) ? window : nullptr)
    {
        if (FWindow)
            ::SetWindowPos(FWindow, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    ~TNotTopMost()
    {
        if (FWindow)
            ::SetWindowPos(FWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    TNotTopMost(const TNotTopMost&) = delete;
    TNotTopMost& operator=(const TNotTopMost&) = delete;

private:
    HWND FWindow;
};

// A main thread paused for the exception's handling runs while the mail client is up: the
// client may need it (a window it owns, a message it sends).
class TMainThreadReleased
{
public:
    TMainThreadReleased() : FReleased(ReleaseMainThread()) {}
    ~TMainThreadReleased()
    {
        if (FReleased)
            PauseMainThreadAgain();
    }
    TMainThreadReleased(const TMainThreadReleased&) = delete;
    TMainThreadReleased& operator=(const TMainThreadReleased&) = delete;

private:
    bool FReleased;
};

} // namespace

TMailClientResult SendByMapi(std::u16string_view recipients, std::u16string_view subject,
                             std::u16string_view body, bool hidden, HWND parent,
                             const std::vector<std::u16string>& sendAs,
                             const std::vector<std::u16string>& files)
{
    // Loading the client's DLL takes the loader lock: not while another thread holds it.
    if (LoaderLockBusy(BlockedWaitMs))
        return TMailClientResult::Failed;
    const base::Module mapi(::LoadLibraryW(L"mapi32.dll"));
    const auto send = base::ProcAddress<LPMAPISENDMAIL>(mapi.Get(), "MAPISendMail");
    if (!send)
        return TMailClientResult::Failed;

    // Each entry as its display name and "SMTP:" with the address; a bare address is both.
    std::vector<std::string> names, addresses;
    for (const std::u16string& entry : MailAddressList(recipients)) {
        std::u16string name = entry, address = entry;
        if (const size_t open = entry.find(u'<'); open != std::u16string::npos) {
            name = entry.substr(0, open);
            while (!name.empty() && name.back() == u' ')
                name.pop_back();
            address = entry.substr(open + 1, entry.find(u'>', open) - open - 1);
            if (name.empty())
                name = address;
        }
        names.push_back(base::WideToAnsi(Wide(name)));
        addresses.push_back("SMTP:" + base::WideToAnsi(Wide(address)));
    }
    std::vector<MapiRecipDesc> to(names.size());
    for (size_t k = 0; k < to.size(); ++k) {
        to[k].ulRecipClass = MAPI_TO;
        to[k].lpszName = names[k].data();
        to[k].lpszAddress = addresses[k].data();
    }
    std::vector<std::string> paths, titles;
    for (size_t k = 0; k < files.size(); ++k) {
        paths.push_back(AnsiPath(files[k]));
        titles.push_back(base::WideToAnsi(Wide(k < sendAs.size() ? sendAs[k] : u"")));
    }
    std::vector<MapiFileDesc> attachments(files.size());
    for (size_t k = 0; k < attachments.size(); ++k) {
        attachments[k].nPosition = static_cast<ULONG>(-1);
        attachments[k].lpszPathName = paths[k].data();
        attachments[k].lpszFileName = titles[k].empty() ? nullptr : titles[k].data();
    }
    std::string subjectText = base::WideToAnsi(Wide(subject)), bodyText = base::WideToAnsi(Wide(body));
    MapiMessage message{};
    message.lpszSubject = subjectText.data();
    message.lpszNoteText = bodyText.data();
    message.nRecipCount = static_cast<ULONG>(to.size());
    message.lpRecips = to.empty() ? nullptr : to.data();
    message.nFileCount = static_cast<ULONG>(attachments.size());
    message.lpFiles = attachments.empty() ? nullptr : attachments.data();
    // Hidden with recipients: sent without asking; otherwise the user sees the mail first.
    const FLAGS flags = hidden && !to.empty() ? 0 : MAPI_LOGON_UI | MAPI_DIALOG;

    const TNotTopMost notTopMost(parent);
    const TMainThreadReleased released;
    const ULONG result = send(0, reinterpret_cast<ULONG_PTR>(parent), &message, flags, 0);
    return result == SUCCESS_SUCCESS     ? TMailClientResult::Delivered
           : result == MAPI_E_USER_ABORT ? TMailClientResult::Cancelled
                                         : TMailClientResult::Failed;
}

std::u16string MailtoCommand()
{
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"mailto\\shell\\open\\command", 0, KEY_QUERY_VALUE, &raw) !=
        ERROR_SUCCESS)
        return {};
    const base::RegistryKey key(raw);
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key.Get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size < sizeof(wchar_t))
        return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                           &size) != ERROR_SUCCESS)
        return {};
    value.resize(wcsnlen(value.c_str(), size / sizeof(wchar_t)));
    const DWORD needed = ::ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
    std::wstring expanded(needed, L'\0');
    if (needed == 0 || ::ExpandEnvironmentStringsW(value.c_str(), expanded.data(), needed) != needed)
        return {};
    expanded.resize(needed - 1);
    return std::u16string(expanded.begin(), expanded.end());
}

bool SendByMailto(std::u16string_view recipients, std::u16string_view subject, std::u16string_view text)
{
    const std::u16string command = MailtoCommand();
    if (command.empty())
        return false;
    std::wstring line = Wide(MailtoCommandLine(command, recipients, subject, text));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &started))
        return false;
    const base::KernelHandle process(started.hProcess), thread(started.hThread);
    return true;
}

TMailClientResult MailByClient(const TDelivery& delivery)
{
    return SendByMapi(delivery.Recipients, delivery.Subject, delivery.Body, delivery.Hidden, delivery.Parent,
                      delivery.Prepared.SendAs, delivery.Prepared.Files);
}

bool MailByLink(const TDelivery& delivery)
{
    return SendByMailto(delivery.Recipients, delivery.Subject, delivery.ReportText);
}

} // namespace crash
