// An ISAPI extension that carries the reporter (started from its static initializer, its
// request entry point replaced as the build's table would ask). Its HttpExtensionProc acts
// on the query string: "throw" throws, "fault" writes to address 16, "header" sends its own
// response header and then throws, "pending" answers "late" from another thread after it
// returned HSE_STATUS_PENDING and then ends the session, "fine" answers "fine". The processor answers a
// report target with "<report & source N>".

#include "base/win_handle.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/host_hooks_win.h"
#include "crash/core/intercept/startup_win.h"

#include <windows.h>

#include <httpext.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace {

void Record(const crash::THandoffRecord& r)
{
    if (auto* target = reinterpret_cast<std::string*>(static_cast<uintptr_t>(r.BugReportTarget)))
        *target = "<report & source " + std::to_string(r.Source) + ">";
}

volatile int Zero = 0;

HMODULE ThisModule()
{
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<const wchar_t*>(&ThisModule), &module);
    return module;
}

struct TReporter
{
    TReporter()
    {
        if (crash::StartReporter({&Record}) == crash::TReporterStart::Enabled) {
            crash::THookTargets targets;
            targets.IsapiExtension = ThisModule();
            crash::InstallHostHooks(Patches, targets);
        }
    }
    ~TReporter() { crash::StopReporter(); }
    crash::TPatches Patches;
};
__attribute__((init_priority(101))) TReporter Reporter;

} // namespace

DWORD WINAPI AnswerLate(void* block)
{
    auto* ecb = static_cast<EXTENSION_CONTROL_BLOCK*>(block);
    ::Sleep(50);
    char text[] = "late";
    DWORD size = 4;
    ecb->WriteClient(ecb->ConnID, text, &size, 0);
    ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_DONE_WITH_SESSION, nullptr, nullptr, nullptr);
    return 0;
}

extern "C" __declspec(dllexport) DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* ecb)
{
    const std::string query = ecb->lpszQueryString ? ecb->lpszQueryString : "";
    if (query == "pending") {
        const base::KernelHandle thread(::CreateThread(nullptr, 0, &AnswerLate, ecb, 0, nullptr));
        return thread ? HSE_STATUS_PENDING : HSE_STATUS_ERROR;
    }
    if (query == "header") {
        char status[] = "200 OK";
        ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, status, nullptr, nullptr);
        throw std::runtime_error("after the header");
    }
    if (query == "throw")
        throw std::runtime_error("in the request");
    if (query == "fault")
        *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(Zero + 16)) = 1;
    char text[] = "fine";
    DWORD size = 4;
    ecb->WriteClient(ecb->ConnID, text, &size, 0);
    ecb->dwHttpStatusCode = 200;
    return HSE_STATUS_SUCCESS;
}
