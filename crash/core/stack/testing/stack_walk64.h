#pragma once
// dbghelp's StackWalk64 over a captured context, with the names SymFromAddr gives, as the
// peer that the tracer's accuracy test and benchmark compare with. dbghelp.dll is loaded
// from the program's folder at run time; without it the walk gives nothing.

#include <windows.h>

#include <dbghelp.h>

#include <string>
#include <vector>

namespace crash::testing {

// dbghelp's walk of the same context, with its names.
inline std::vector<std::string> StackWalk64Names(HANDLE thread, CONTEXT context)
{
    static HMODULE dbghelp = ::LoadLibraryW(L"dbghelp.dll");
    if (!dbghelp)
        return {};
    const auto symInitialize = reinterpret_cast<decltype(&::SymInitialize)>(
        reinterpret_cast<void*>(::GetProcAddress(dbghelp, "SymInitialize")));
    const auto symSetOptions = reinterpret_cast<decltype(&::SymSetOptions)>(
        reinterpret_cast<void*>(::GetProcAddress(dbghelp, "SymSetOptions")));
    const auto stackWalk = reinterpret_cast<decltype(&::StackWalk64)>(
        reinterpret_cast<void*>(::GetProcAddress(dbghelp, "StackWalk64")));
    const auto tableAccess = reinterpret_cast<PFUNCTION_TABLE_ACCESS_ROUTINE64>(
        reinterpret_cast<void*>(::GetProcAddress(dbghelp, "SymFunctionTableAccess64")));
    const auto moduleBase = reinterpret_cast<PGET_MODULE_BASE_ROUTINE64>(
        reinterpret_cast<void*>(::GetProcAddress(dbghelp, "SymGetModuleBase64")));
    const auto symFromAddr = reinterpret_cast<decltype(&::SymFromAddr)>(
        reinterpret_cast<void*>(::GetProcAddress(dbghelp, "SymFromAddr")));
    if (!symInitialize || !symSetOptions || !stackWalk || !tableAccess || !moduleBase || !symFromAddr)
        return {};
    const HANDLE process = ::GetCurrentProcess();
    static const bool initialized = [&] {
        symSetOptions(SYMOPT_UNDNAME | SYMOPT_DEFERRED_LOADS);
        return symInitialize(process, nullptr, TRUE) != FALSE;
    }();
    if (!initialized)
        return {};
    STACKFRAME64 frame{};
    frame.AddrPC = {context.Eip, 0, AddrModeFlat};
    frame.AddrFrame = {context.Ebp, 0, AddrModeFlat};
    frame.AddrStack = {context.Esp, 0, AddrModeFlat};
    std::vector<std::string> names;
    for (int n = 0; n < 64 && stackWalk(IMAGE_FILE_MACHINE_I386, process, thread, &frame, &context, nullptr,
                                        tableAccess, moduleBase, nullptr);
         ++n) {
        if (!frame.AddrPC.Offset)
            break;
        alignas(SYMBOL_INFO) char buffer[sizeof(SYMBOL_INFO) + 512] = {};
        auto* symbol = reinterpret_cast<SYMBOL_INFO*>(buffer);
        symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
        symbol->MaxNameLen = 511;
        DWORD64 displacement = 0;
        names.push_back(symFromAddr(process, frame.AddrPC.Offset, &displacement, symbol) ? symbol->Name : "");
    }
    return names;
}

} // namespace crash::testing
