// vextrace: the report of a running program's current state, for the developers and support
// engineers who look at a copy that hangs or behaves oddly. The program must carry the crash
// reporter, which exports vexTraceProcess: that function runs in a thread this tool creates in
// the program, and writes the report (every thread's call stack, the modules, ...) into a named
// mapping that this tool made, or onto the clipboard.
//     vextrace PID|NAME [--clipboard]
// Prints the report (UTF-8). Exit codes: 0 printed, 1 usage, 2 no such process, 3 the process
// carries no reporter (or cannot be opened), 4 no report came.

#include "base/win_handle.h"
#include "crash/core/debug_info/pe_image.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr DWORD BufferSize = 16 << 20; // room for the report of a process with many threads
constexpr DWORD TraceTimeoutMs = 120000;

bool SameName(std::wstring a, std::wstring b)
{
    for (wchar_t& c : a)
        c = static_cast<wchar_t>(std::towlower(c));
    for (wchar_t& c : b)
        c = static_cast<wchar_t>(std::towlower(c));
    return a == b;
}

// The running process of that id, or the first of that executable name; 0 when there is none.
DWORD FindProcess(const std::wstring& what)
{
    const bool byId = !what.empty() && what.find_first_not_of(L"0123456789") == std::wstring::npos;
    const DWORD id = byId ? static_cast<DWORD>(std::wcstoul(what.c_str(), nullptr, 10)) : 0;
    const base::FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry))
        if (byId ? entry.th32ProcessID == id
                 : SameName(entry.szExeFile, what) || SameName(entry.szExeFile, what + L".exe"))
            return entry.th32ProcessID;
    return 0;
}

std::vector<uint8_t> FileBytes(const std::wstring& path)
{
    const base::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > (256 << 20))
        return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        !::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        read = 0;
    bytes.resize(read);
    return bytes;
}

// Where vexTraceProcess is in the process: the module that exports it, at its address there.
std::optional<uint32_t> TraceFunction(DWORD process)
{
    const base::FileHandle snapshot(
        ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, process));
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    for (BOOL more = snapshot && ::Module32FirstW(snapshot.Get(), &module); more;
         more = ::Module32NextW(snapshot.Get(), &module)) {
        const std::vector<uint8_t> file = FileBytes(module.szExePath);
        const std::optional<crash::TPeImage> image = crash::TPeImage::Parse(file, false);
        if (!image || image->Is64)
            continue;
        for (const crash::TPeExport& e : image->Exports())
            if (e.Name == "vexTraceProcess")
                return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module.modBaseAddr)) + e.Rva;
    }
    return std::nullopt;
}

std::string ClipboardText()
{
    std::string text;
    if (!::OpenClipboard(nullptr))
        return text;
    if (const HANDLE data = ::GetClipboardData(CF_UNICODETEXT))
        if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
            const int n = ::WideCharToMultiByte(CP_UTF8, 0, chars, -1, nullptr, 0, nullptr, nullptr);
            if (n > 1) {
                text.resize(static_cast<size_t>(n));
                ::WideCharToMultiByte(CP_UTF8, 0, chars, -1, text.data(), n, nullptr, nullptr);
                text.resize(static_cast<size_t>(n - 1));
            }
            ::GlobalUnlock(data);
        }
    ::CloseClipboard();
    return text;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2 || (argc > 2 && std::wstring(argv[2]) != L"--clipboard")) {
        std::fputs("usage: vextrace PID|NAME [--clipboard]\n", stderr);
        return 1;
    }
    const bool clipboard = argc > 2;
    const DWORD id = FindProcess(argv[1]);
    if (!id) {
        std::fputs("vextrace: no such process\n", stderr);
        return 2;
    }
    const base::KernelHandle process(::OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION |
                                                       PROCESS_VM_OPERATION | PROCESS_VM_READ |
                                                       PROCESS_VM_WRITE | SYNCHRONIZE,
                                                   FALSE, id));
    const std::optional<uint32_t> function = process ? TraceFunction(id) : std::nullopt;
    if (!function) {
        std::fputs("vextrace: the process carries no crash reporter that can be asked\n", stderr);
        return 3;
    }
    // The mapping the report goes into (the session-wide one when this tool may make it);
    // without one (or with --clipboard), the program is asked with a buffer size of 0 and puts
    // the report onto the clipboard.
    base::KernelHandle mapping;
    if (!clipboard) {
        mapping.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, BufferSize,
                                           L"Global\\vexTraceProcessMap"));
        if (!mapping)
            mapping.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, BufferSize,
                                               L"vexTraceProcessMap"));
    }
    // Whatever was there before (another tool's mapping of that name, or the clipboard) is
    // no answer of this program: cleared first, and a clipboard not changed since is none.
    const base::MappedView view(
        mapping ? ::MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, BufferSize) : nullptr);
    if (view)
        static_cast<char*>(view.Get())[0] = 0;
    else if (::OpenClipboard(nullptr)) {
        ::EmptyClipboard();
        ::CloseClipboard();
    }
    const DWORD clipboardBefore = ::GetClipboardSequenceNumber();
    const base::KernelHandle thread(::CreateRemoteThread(
        process.Get(), nullptr, 0,
        reinterpret_cast<LPTHREAD_START_ROUTINE>(static_cast<uintptr_t>(*function)),
        reinterpret_cast<void*>(static_cast<uintptr_t>(view ? BufferSize : 0)), 0, nullptr));
    if (!thread || ::WaitForSingleObject(thread.Get(), TraceTimeoutMs) != WAIT_OBJECT_0) {
        std::fputs("vextrace: the program did not answer\n", stderr);
        return 4;
    }
    std::string report;
    if (view) {
        const auto* text = static_cast<const char*>(view.Get());
        report.assign(text, strnlen(text, BufferSize));
    } else if (::GetClipboardSequenceNumber() != clipboardBefore) {
        report = ClipboardText();
    }
    if (report.empty()) {
        std::fputs("vextrace: no report came\n", stderr);
        return 4;
    }
    _setmode(_fileno(stdout), _O_BINARY); // the report's line breaks as they are
    std::fwrite(report.data(), 1, report.size(), stdout);
    std::fputs("\r\n", stdout);
    return 0;
}
