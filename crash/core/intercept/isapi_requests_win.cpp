#include "crash/core/intercept/isapi_requests_win.h"

#include "base/seh_frame.h"
#include "base/srw_lock.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/host_hooks_win.h"

#include <httpext.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace crash {
namespace {

static_assert(sizeof(EXTENSION_CONTROL_BLOCK) == 144, "the server's block is copied whole");

using TEntry = DWORD(WINAPI*)(EXTENSION_CONTROL_BLOCK*);
TEntry RealEntry = nullptr;
TReportPage PageMaker = nullptr;

struct TRequest
{
    HCONN Connection;
    decltype(EXTENSION_CONTROL_BLOCK::ServerSupportFunction) ServerSupport; // the server's own
    bool HeaderSent;
    // The block the extension works with: it outlives the entry call of a pending request.
    std::shared_ptr<EXTENSION_CONTROL_BLOCK> Copy;
};

// The requests in progress, by connection (room for 64 at first, doubled when full).
constinit base::SrwLock RequestsLock;
std::vector<TRequest>* Requests = nullptr;

TRequest* FindLocked(HCONN connection)
{
    if (Requests)
        for (TRequest& r : *Requests)
            if (r.Connection == connection)
                return &r;
    return nullptr;
}

std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Page(const std::string& report)
{
    return PageMaker ? PageMaker(report) : "<html><body><pre>" + Escaped(report) + "</pre></body></html>";
}

// Sends the calling thread's pending report text to the request's client: the header
// first unless one was sent, then the page.
void SendPendingReport(TRequest& request, EXTENSION_CONTROL_BLOCK& server)
{
    TIsapiThreadState& state = IsapiThreadState();
    if (state.Report.empty())
        return;
    const std::string page = Page(state.Report);
    state.Report.clear();
    if (!request.HeaderSent) {
        char header[] = "Content-Type: text/html\r\n\r\n";
        DWORD size = sizeof header - 1;
        request.ServerSupport(request.Connection, HSE_REQ_SEND_RESPONSE_HEADER, nullptr, &size,
                              reinterpret_cast<DWORD*>(header));
        request.HeaderSent = true;
    }
    DWORD length = static_cast<DWORD>(page.size());
    server.WriteClient(request.Connection, const_cast<char*>(page.data()), &length, 0);
}

BOOL WINAPI ServerSupportHook(HCONN connection, DWORD code, void* buffer, DWORD* size, DWORD* type)
{
    TRequest request{};
    {
        const std::lock_guard lock(RequestsLock);
        const TRequest* found = FindLocked(connection);
        if (!found)
            return FALSE;
        request = *found;
    }
    try {
        SendPendingReport(request, *request.Copy);
    } catch (...) { // no memory for the page: the request goes on without it
    }
    const BOOL done = request.ServerSupport(connection, code, buffer, size, type);
    const std::lock_guard lock(RequestsLock);
    if (TRequest* found = FindLocked(connection)) {
        found->HeaderSent = found->HeaderSent || request.HeaderSent ||
                            (done && code == HSE_REQ_SEND_RESPONSE_HEADER) ||
                            code == HSE_REQ_SEND_RESPONSE_HEADER_EX;
        if (code == HSE_REQ_DONE_WITH_SESSION)
            Requests->erase(Requests->begin() + (found - Requests->data()));
    }
    return done;
}

struct TCall
{
    EXTENSION_CONTROL_BLOCK* Block;
    DWORD Result;
};

void Dispatch(TCall& call)
{
    TDispatchRequest request;
    request.Source = esHttpExtension;
    request.BugReportTarget = &IsapiThreadState().Report;
    DispatchException(request);
    call.Result = HSE_STATUS_ERROR;
}

// Runs the extension's own entry; an exception (C++ or OS) that escapes it is handed over.
void RunRequest(void* p)
{
    auto& call = *static_cast<TCall*>(p);
    try {
        call.Result = RealEntry(call.Block);
    } catch (...) {
        Dispatch(call);
    }
}

// Runs the request on the copy; an exception that escapes it is handed over.
DWORD RunGuarded(EXTENSION_CONTROL_BLOCK* block)
{
    TCall call{block, HSE_STATUS_ERROR};
    EXCEPTION_RECORD caught;
    if (!base::CallUnderSehFrame(&RunRequest, &call, caught)) {
        TDispatchRequest dispatch;
        dispatch.Source = esHttpExtension;
        dispatch.Record = &caught;
        dispatch.Address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(caught.ExceptionAddress));
        dispatch.BugReportTarget = &IsapiThreadState().Report;
        DispatchException(dispatch);
        call.Result = HSE_STATUS_ERROR;
    }
    return call.Result;
}

DWORD Serve(EXTENSION_CONTROL_BLOCK* server)
{
    // A block of another size than this one is not copied: the request runs on it as given.
    if (server->cbSize != sizeof(EXTENSION_CONTROL_BLOCK))
        return RunGuarded(server);
    auto copy = std::make_shared<EXTENSION_CONTROL_BLOCK>(*server);
    copy->ServerSupportFunction = &ServerSupportHook;
    TRequest request{server->ConnID, server->ServerSupportFunction, false, copy};
    {
        const std::lock_guard lock(RequestsLock);
        if (!Requests) {
            Requests = new std::vector<TRequest>; // lives as long as the process
            Requests->reserve(64);
        }
        Requests->push_back(request);
    }
    const DWORD result = RunGuarded(copy.get());
    {
        const std::lock_guard lock(RequestsLock);
        if (TRequest* found = FindLocked(server->ConnID)) {
            request.HeaderSent = found->HeaderSent;
            if (result != HSE_STATUS_PENDING)
                Requests->erase(Requests->begin() + (found - Requests->data()));
        }
    }
    if (result != HSE_STATUS_PENDING) {
        *server = *copy;
        server->ServerSupportFunction = request.ServerSupport;
    }
    SendPendingReport(request, *server);
    return result;
}

DWORD WINAPI EntryHook(EXTENSION_CONTROL_BLOCK* server)
{
    try {
        return Serve(server);
    } catch (...) { // no memory to keep the request: it fails, the server goes on
        return HSE_STATUS_ERROR;
    }
}

} // namespace

void SetReportPageMaker(TReportPage maker)
{
    PageMaker = maker;
}

bool HookIsapiEntry(TPatches& patches, HMODULE extension)
{
    auto* base = reinterpret_cast<uint8_t*>(extension);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (!directory.VirtualAddress)
        return false;
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* names = reinterpret_cast<const uint32_t*>(base + exports->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const uint16_t*>(base + exports->AddressOfNameOrdinals);
    auto* functions = reinterpret_cast<uint32_t*>(base + exports->AddressOfFunctions);
    for (DWORD k = 0; k < exports->NumberOfNames; ++k) {
        if (std::strcmp(reinterpret_cast<const char*>(base + names[k]), "HttpExtensionProc") != 0)
            continue;
        uint32_t* slot = &functions[ordinals[k]];
        RealEntry = reinterpret_cast<TEntry>(base + *slot);
        // An export is an offset from the module's base (modulo 2^32, for a wrapper below it).
        return patches.WriteValue(slot, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&EntryHook) -
                                                              reinterpret_cast<uintptr_t>(base)));
    }
    return false;
}

} // namespace crash
