// Benchmark of the debug information: the time to load this program's own container (the
// embedded "VEX" resource) and the lookups per second, against the debug-help library's
// SymFromAddrW and SymGetLineFromAddrW64 on the same addresses of the same image, in the
// same run. Prints; never fails on time.

#include "crash/core/debug_info/module_debug_info.h"

#include <windows.h>

#include <dbghelp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

} // namespace

int main()
{
    HMODULE self = ::GetModuleHandleW(nullptr);
    double load = 1e9;
    crash::TMapFile map = crash::LoadModuleMapFile(self, true, false);
    for (int k = 0; k < 5; ++k) {
        const auto start = Clock::now();
        map = crash::LoadModuleMapFile(self, true, false);
        load = std::min(load, Seconds(start));
    }
    // Every function's start and a point inside it.
    std::vector<uint32_t> addresses;
    for (const crash::TMfPublic& p : map.Publics()) {
        addresses.push_back(p.Address);
        addresses.push_back(p.Address + 5);
    }
    const size_t rounds = 20;
    auto start = Clock::now();
    size_t found = 0;
    for (size_t r = 0; r < rounds; ++r)
        for (uint32_t a : addresses)
            found += (map.FindPublic(a) != nullptr) + (map.FindLine(a) > 0);
    const double ours = rounds * addresses.size() / Seconds(start);
    std::printf("container: %zu functions, %zu lines, loaded in %.2f ms\n", map.Publics().size(),
                map.Lines().size(), load * 1000);
    std::printf("container lookups (public and line): %12.0f addresses/s (%zu answers)\n", ours,
                found / rounds);

    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring folder(path);
    folder = folder.substr(0, folder.find_last_of(L'\\') + 1);
    HMODULE help = ::LoadLibraryW((folder + L"dbghelp.dll").c_str());
    if (!help)
        help = ::LoadLibraryW(L"dbghelp.dll");
    auto init = reinterpret_cast<decltype(&SymInitializeW)>(
        reinterpret_cast<void*>(::GetProcAddress(help, "SymInitializeW")));
    auto options = reinterpret_cast<decltype(&SymSetOptions)>(
        reinterpret_cast<void*>(::GetProcAddress(help, "SymSetOptions")));
    auto loadModule = reinterpret_cast<decltype(&SymLoadModuleExW)>(
        reinterpret_cast<void*>(::GetProcAddress(help, "SymLoadModuleExW")));
    auto fromAddr = reinterpret_cast<decltype(&SymFromAddrW)>(
        reinterpret_cast<void*>(::GetProcAddress(help, "SymFromAddrW")));
    auto lineFromAddr = reinterpret_cast<decltype(&SymGetLineFromAddrW64)>(
        reinterpret_cast<void*>(::GetProcAddress(help, "SymGetLineFromAddrW64")));
    if (!init || !options || !loadModule || !fromAddr || !lineFromAddr) {
        std::printf("dbghelp: not available\n");
        return 0;
    }
    options(SYMOPT_LOAD_LINES | SYMOPT_UNDNAME);
    HANDLE process = ::GetCurrentProcess();
    start = Clock::now();
    init(process, nullptr, FALSE);
    const DWORD64 base =
        loadModule(process, nullptr, path, nullptr, reinterpret_cast<uintptr_t>(self), 0, nullptr, 0);
    const double theirLoad = Seconds(start);
    std::vector<uint8_t> buffer(sizeof(SYMBOL_INFOW) + 1024 * sizeof(wchar_t));
    auto* symbol = reinterpret_cast<SYMBOL_INFOW*>(buffer.data());
    start = Clock::now();
    size_t theirFound = 0;
    const size_t theirRounds = 2;
    for (size_t r = 0; r < theirRounds; ++r)
        for (uint32_t a : addresses) {
            symbol->SizeOfStruct = sizeof(SYMBOL_INFOW);
            symbol->MaxNameLen = 1024;
            DWORD64 displacement = 0;
            DWORD lineDisplacement = 0;
            IMAGEHLP_LINEW64 line{};
            line.SizeOfStruct = sizeof line;
            theirFound += fromAddr(process, a, &displacement, symbol) != FALSE;
            theirFound += lineFromAddr(process, a, &lineDisplacement, &line) != FALSE;
        }
    const double theirs = theirRounds * addresses.size() / Seconds(start);
    std::printf("dbghelp: module at %08llx loaded in %.2f ms\n", static_cast<unsigned long long>(base),
                theirLoad * 1000);
    std::printf(
        "dbghelp lookups (SymFromAddrW and SymGetLineFromAddrW64): %12.0f addresses/s (%zu answers)\n",
        theirs, theirFound / theirRounds);
    std::printf("ratio of load times: %.1f, of lookups: %.1f\n", theirLoad / load, ours / theirs);
    return 0;
}
