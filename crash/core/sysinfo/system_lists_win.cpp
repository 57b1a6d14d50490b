#include "crash/core/sysinfo/system_lists_win.h"

#include "base/proc_address.h"
#include "base/win_handle.h"
#include "crash/core/sysinfo/process_information.h"

#include <tlhelp32.h>
#include <vector>

namespace crash {

std::u16string FileVersionText(const std::wstring& fileName)
{
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(fileName.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<uint8_t> data(size);
    if (!::GetFileVersionInfoW(fileName.c_str(), 0, size, data.data()))
        return {};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof *info || info->dwSignature != 0xFEEF04BD)
        return {};
    const std::string text = std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
                             std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
                             std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
                             std::to_string(LOWORD(info->dwFileVersionLS));
    return {text.begin(), text.end()};
}

std::vector<TModuleEntry> CollectModules()
{
    std::vector<TModuleEntry> modules;
    uintptr_t address = 0;
    void* previousBase = nullptr;
    MEMORY_BASIC_INFORMATION region;
    while (::VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.AllocationBase == region.BaseAddress &&
            region.AllocationBase != previousBase) {
            wchar_t name[MAX_PATH * 2];
            const DWORD n =
                ::GetModuleFileNameW(static_cast<HMODULE>(region.AllocationBase), name, MAX_PATH * 2);
            if (n > 0 && n < MAX_PATH * 2) {
                std::wstring full(name, n);
                wchar_t longName[MAX_PATH * 2];
                const DWORD l = ::GetLongPathNameW(full.c_str(), longName, MAX_PATH * 2);
                if (l > 0 && l < MAX_PATH * 2)
                    full.assign(longName, l);
                const size_t slash = full.find_last_of(L"\\/");
                const size_t split = slash == std::wstring::npos ? 0 : slash + 1;
                TModuleEntry m;
                m.Handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(region.AllocationBase));
                m.Name = AsU16(std::wstring_view(full).substr(split));
                m.Path = AsU16(std::wstring_view(full).substr(0, split));
                m.Version = FileVersionText(full);
                modules.push_back(std::move(m));
            }
        }
        previousBase = region.AllocationBase;
        const uintptr_t next = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
        if (next <= address)
            break; // the top of the address space
        address = next;
    }
    return modules;
}

std::wstring ModulesListText()
{
    return AsWide(ModulesText(CollectModules()));
}

namespace {

using NtQuerySystemInformationProc = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
using GetModuleFileNameExProc = DWORD(WINAPI*)(HANDLE, HMODULE, wchar_t*, DWORD);
using GetGuiResourcesProc = DWORD(WINAPI*)(HANDLE, DWORD);

constexpr ULONG SystemProcessInformation = 5;

// The processes as NtQuerySystemInformation lists them; nothing when it can't.
std::vector<TRawProcess> NtProcesses()
{
    auto query = base::ProcAddress<NtQuerySystemInformationProc>(::GetModuleHandleW(L"ntdll.dll"),
                                                                 "NtQuerySystemInformation");
    if (!query)
        return {};
    ULONG needed = 0;
    query(SystemProcessInformation, nullptr, 0, &needed);
    size_t size = needed ? size_t{needed} * 2 : 128 * 1024;
    for (;;) {
        std::vector<uint8_t> buffer(size);
        if (query(SystemProcessInformation, buffer.data(), static_cast<ULONG>(size), &needed) == 0)
            return ParseProcessInformation(buffer,
                                           static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer.data())));
        if (size >= 4 * 1024 * 1024)
            return {};
        size *= 2;
    }
}

// The processes of a Toolhelp snapshot (Windows 9x, and NT when the query above fails).
std::vector<TRawProcess> SnapshotProcesses()
{
    std::vector<TRawProcess> processes;
    base::FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return processes;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry)) {
        entry.szExeFile[MAX_PATH - 1] = 0;
        std::u16string name = AsU16(entry.szExeFile);
        const size_t slash = name.find_last_of(u"\\/");
        if (slash != std::u16string::npos)
            name.erase(0, slash + 1);
        processes.push_back({name, entry.th32ProcessID, 0});
    }
    return processes;
}

bool StartsWith(const std::wstring& s, const wchar_t* prefix)
{
    return s.compare(0, wcslen(prefix), prefix) == 0;
}

// The folder of a process's image, without its trailing backslash; empty when unknown.
std::u16string ProcessFolder(DWORD id, GetModuleFileNameExProc fileNameEx)
{
    if (!fileNameEx)
        return {};
    base::KernelHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
    if (!process)
        return {};
    wchar_t name[MAX_PATH * 2];
    const DWORD n = fileNameEx(process.Get(), nullptr, name, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2)
        return {};
    std::wstring path(name, n);
    if (StartsWith(path, L"\\SystemRoot\\System32\\")) {
        wchar_t system[MAX_PATH];
        const UINT s = ::GetSystemDirectoryW(system, MAX_PATH);
        if (s > 0 && s < MAX_PATH)
            path = std::wstring(system, s) + L"\\" + path.substr(wcslen(L"\\SystemRoot\\System32\\"));
    } else if (StartsWith(path, L"\\??\\")) {
        path.erase(0, 4);
    }
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::u16string() : AsU16(std::wstring_view(path).substr(0, slash));
}

} // namespace

std::vector<TProcessEntry> CollectProcesses()
{
    std::vector<TRawProcess> raw = NtProcesses();
    if (raw.empty())
        raw = SnapshotProcesses();

    // psapi is loaded for the process's lifetime: the list may be asked for again.
    static const base::Module psapi(::LoadLibraryW(L"psapi.dll"));
    auto fileNameEx = base::ProcAddress<GetModuleFileNameExProc>(psapi.Get(), "GetModuleFileNameExW");
    if (!fileNameEx)
        fileNameEx = base::ProcAddress<GetModuleFileNameExProc>(::GetModuleHandleW(L"kernel32.dll"),
                                                                "K32GetModuleFileNameExW");
    auto guiResources =
        base::ProcAddress<GetGuiResourcesProc>(::GetModuleHandleW(L"user32.dll"), "GetGuiResources");

    std::vector<TProcessEntry> processes;
    processes.reserve(64);
    for (const TRawProcess& r : raw) {
        TProcessEntry p;
        p.Name = r.ImageName;
        p.Id = r.Id;
        p.SessionId = r.SessionId;
        p.Path = ProcessFolder(r.Id, fileNameEx);
        if (r.Id != 0) {
            base::KernelHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, r.Id));
            if (process) {
                const DWORD priority = ::GetPriorityClass(process.Get());
                p.PriorityClass = priority ? static_cast<int32_t>(priority) : -1;
                if (guiResources) {
                    p.GdiObjects = guiResources(process.Get(), 0);
                    p.UserObjects = guiResources(process.Get(), 1);
                }
            }
        }
        processes.push_back(std::move(p));
    }
    return processes;
}

std::wstring ProcessesListText()
{
    return AsWide(ProcessesText(CollectProcesses()));
}

} // namespace crash
