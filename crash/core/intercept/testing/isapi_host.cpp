// A web server in miniature that calls an ISAPI extension's entry point:
//   isapi_host QUERY LOG
// It loads isapi_extension.dll, finds HttpExtensionProc by name, calls it with a control
// block whose query string is QUERY and appends to LOG: "result R status S", one line
// "header H" per response header sent (H the header text, "-" for none) and one line
// "body B" per write to the client, "done" when the extension ends a pending session (the
// host waits for that after a pending answer).

#include "base/proc_address.h"
#include "base/win_handle.h"
#include "crash/core/intercept/testing/child_log.h"

#include <windows.h>

#include <httpext.h>

#include <cstring>
#include <string>

namespace {

char Log[MAX_PATH];
HANDLE Done = nullptr;
const HCONN Connection = reinterpret_cast<HCONN>(0x77);

BOOL WINAPI WriteClient(HCONN connection, void* buffer, DWORD* size, DWORD)
{
    if (connection != Connection)
        return FALSE;
    crash::testing::AppendLine(Log, "body " + std::string(static_cast<const char*>(buffer), *size));
    return TRUE;
}

BOOL WINAPI ServerSupport(HCONN connection, DWORD code, void* buffer, DWORD*, DWORD* type)
{
    if (connection != Connection)
        return FALSE;
    if (code == HSE_REQ_DONE_WITH_SESSION) {
        crash::testing::AppendLine(Log, "done");
        ::SetEvent(Done);
    }
    if (code == HSE_REQ_SEND_RESPONSE_HEADER) {
        const char* header = reinterpret_cast<const char*>(type);
        std::string text = header ? header : "-";
        for (size_t at; (at = text.find("\r\n")) != std::string::npos;)
            text.replace(at, 2, "|");
        crash::testing::AppendLine(
            Log, "header " + std::string(buffer ? static_cast<const char*>(buffer) : "") + " " + text);
    }
    return TRUE;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    std::strncpy(Log, argv[2], sizeof Log - 1);
    const base::Module extension(::LoadLibraryW(L"isapi_extension.dll"));
    using TEntry = DWORD(WINAPI*)(EXTENSION_CONTROL_BLOCK*);
    const auto entry = base::ProcAddress<TEntry>(extension.Get(), "HttpExtensionProc");
    if (!entry)
        return 3;
    EXTENSION_CONTROL_BLOCK ecb{};
    ecb.cbSize = sizeof ecb;
    ecb.ConnID = Connection;
    ecb.lpszQueryString = argv[1];
    ecb.WriteClient = &WriteClient;
    ecb.ServerSupportFunction = &ServerSupport;
    const base::KernelHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Done = done.Get();
    const DWORD result = entry(&ecb);
    crash::testing::AppendLine(Log, "result " + std::to_string(result) + " status " +
                                        std::to_string(ecb.dwHttpStatusCode));
    if (result == HSE_STATUS_PENDING && ::WaitForSingleObject(Done, 10000) != WAIT_OBJECT_0)
        return 5;
    return ecb.ServerSupportFunction == &ServerSupport ? 0 : 4; // the server's own again
}
