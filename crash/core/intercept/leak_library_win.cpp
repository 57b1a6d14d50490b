#include "crash/core/intercept/leak_library_win.h"

#include "base/module_path.h"
#include "base/proc_address.h"
#include "base/win_handle.h"
#include "crash/settings/module_settings.h"
#include "crash/settings/settings_resource.h"

#include <psapi.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace crash {
namespace {

constexpr wchar_t LibraryName[] = L"Vexcatch32.dll";
constexpr int ApiVersion = 2;
// Where an installation puts the library.
constexpr wchar_t InstalledPath[] = L"C:\\Program Files\\Tolvaris\\Vexcatch\\Dlls\\Vexcatch32.dll";

// The default value of "Software\Tolvaris\vexCollection" (the machine's, else the user's).
std::wstring CollectionFolder()
{
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        wchar_t value[MAX_PATH] = {};
        DWORD size = sizeof value - sizeof(wchar_t);
        if (::RegGetValueW(root, L"Software\\Tolvaris\\vexCollection", nullptr, RRF_RT_REG_SZ, nullptr, value,
                           &size) == ERROR_SUCCESS &&
            value[0])
            return value;
    }
    return {};
}

void* Find(HMODULE module, const char* name)
{
    return reinterpret_cast<void*>(::GetProcAddress(module, name));
}

template <class F> void Take(F& field, HMODULE module, const char* name)
{
    field = reinterpret_cast<F>(Find(module, name));
}

void AnnounceWrongVersion(const std::wstring&)
{
    ::MessageBoxA(nullptr, "Vexcatch32.dll has the wrong version.", "Error...", MB_OK | MB_ICONERROR);
}

const TMemoryManager ThisManager{&std::malloc, &std::free, &std::realloc};

// The modules that leak checking or the debug memory manager was started for, to be let go
// at shutdown.
constexpr LONG MaxStarted = 64;
constinit HMODULE Started[MaxStarted] = {};
volatile LONG StartedCount = 0;

void StartFor(HMODULE module, bool leaks, bool buffer, bool overrun)
{
    if (!leaks && !buffer)
        return;
    const TLeakLibrary& library = LeakLibrary();
    bool started = false;
    if (buffer && library.StartDebugMm)
        started = library.StartDebugMm(module, &ThisManager, overrun);
    if (leaks && library.StartLeakChecking && library.StartLeakChecking(module, &ThisManager)) {
        started = true;
        if (library.CalibrateLeakChecking)
            library.CalibrateLeakChecking(module);
    }
    if (const LONG k = started ? ::InterlockedIncrement(&StartedCount) - 1 : MaxStarted; k < MaxStarted)
        Started[k] = module;
}

} // namespace

constinit volatile TLeakMarks LeakMarks;

std::vector<std::wstring> LeakLibraryCandidates()
{
    std::vector<std::wstring> places{LibraryName};
    const std::wstring own = base::ModulePath(ReporterModule());
    if (const size_t slash = own.find_last_of(L'\\'); slash != std::wstring::npos)
        places.push_back(own.substr(0, slash + 1) + LibraryName);
    places.push_back(InstalledPath);
    if (const std::wstring folder = CollectionFolder(); !folder.empty())
        places.push_back(folder + L"\\Vexcatch\\Dlls\\" + LibraryName);
    return places;
}

TLeakLibrary LoadLeakLibrary(const std::vector<std::wstring>& candidates, HMODULE own,
                             void (*wrongVersion)(const std::wstring& path))
{
    TLeakLibrary library;
    for (const std::wstring& path : candidates) {
        // A library's start-up may change the FPU's control word: the program keeps its own.
        uint16_t control;
        asm volatile("fnstcw %0" : "=m"(control));
        base::Module module(::LoadLibraryW(path.c_str()));
        asm volatile("fldcw %0" : : "m"(control));
        if (!module || module.Get() == own)
            continue;
        using TGetApiVersion = int(WINAPI*)();
        const auto version = base::ProcAddress<TGetApiVersion>(module.Get(), "GetApiVersion");
        if (!version)
            continue;
        if (version() != ApiVersion) {
            if (wrongVersion)
                wrongVersion(path);
            return library;
        }
        const HMODULE m = module.Release();
        library.Module = m;
        Take(library.StartLeakChecking, m, "StartLeakChecking");
        Take(library.StopLeakChecking, m, "StopLeakChecking");
        Take(library.CalibrateLeakChecking, m, "CalibrateLeakChecking");
        Take(library.ReportLeaksNow, m, "ReportLeaksNow");
        library.GetLeakReport = Find(m, "GetLeakReport");
        library.GetLeakCallstack = Find(m, "GetLeakCallstack");
        library.ClearLeaks = Find(m, "ClearLeaks");
        library.ShowLeakReport = Find(m, "ShowLeakReport");
        Take(library.UnloadLeakModule, m, "UnloadLeakModule");
        library.HideLeakPtr = Find(m, "HideLeakPtr");
        if (!library.HideLeakPtr)
            library.HideLeakPtr = Find(m, "ThisIsNoLeak");
        library.HideLeakObj = Find(m, "HideLeakObj");
        library.HideInitializationLeaks = Find(m, "HideInitializationLeaks");
        library.SetLeakOption = Find(m, "SetLeakOption");
        Take(library.StartDebugMm, m, "StartDebugMm");
        library.SetDebugMmAlignment = Find(m, "SetDebugMmAlignment");
        return library;
    }
    return library;
}

const TLeakLibrary& LeakLibrary()
{
    static const TLeakLibrary library =
        LoadLeakLibrary(LeakLibraryCandidates(), ReporterModule(), &AnnounceWrongVersion);
    return library;
}

void StartLeakServices(HMODULE module)
{
    StartFor(module, LeakMarks.ReportLeaks != 0, LeakMarks.CrashOnBuffer != 0, LeakMarks.CrashOnBuffer != 2);
    StartLeakServicesOfOtherModules(module);
}

void StartLeakServicesOfOtherModules(HMODULE reporter)
{
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(reporter, path, MAX_PATH);
    const bool package = n > 4 && n < MAX_PATH && ::lstrcmpiW(path + n - 4, L".bpl") == 0;
    if (!package || ::GetModuleHandleW(L"coreide150.bpl"))
        return;
    HMODULE modules[1024];
    DWORD needed = 0;
    if (!::EnumProcessModules(::GetCurrentProcess(), modules, sizeof modules, &needed))
        return;
    for (DWORD k = 0; k < needed / sizeof(HMODULE) && k < 1024; ++k) {
        if (modules[k] == reporter || SettingsResource(modules[k]).empty())
            continue;
        const TSettingsList settings = LoadModuleSettings(modules[k]).List;
        const auto stored = [&](std::string_view name) {
            const SettingsProperty* p = settings.Find(name);
            return p && p->Type == ptBoolean && p->BoolValue;
        };
        StartFor(modules[k], stored("ReportLeaks"), stored("CrashOnBuffer"), !stored("CrashOnUnderrun"));
    }
}

void StopLeakServices()
{
    const LONG started = std::min(static_cast<LONG>(StartedCount), MaxStarted);
    for (LONG k = 0; k < started && LeakLibrary().UnloadLeakModule; ++k)
        LeakLibrary().UnloadLeakModule(Started[k]);
    StartedCount = 0;
}

} // namespace crash
