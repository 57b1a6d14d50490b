#include "crash/core/intercept/os_exception_win.h"

#include "base/utf.h"
#include "crash/core/intercept/base_exception.h"
#include "crash/core/intercept/os_exception_message.h"

#include <string>

namespace crash {
namespace {

// The file name (without its path) of the module whose committed, accessible image holds
// `address`.
std::optional<std::u16string> ModuleAt(const void* address)
{
    MEMORY_BASIC_INFORMATION info;
    if (::VirtualQuery(address, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT ||
        (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) || !info.AllocationBase)
        return std::nullopt;
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(static_cast<HMODULE>(info.AllocationBase), path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::nullopt;
    std::u16string name(reinterpret_cast<const char16_t*>(path), n);
    return name.substr(name.find_last_of(u"\\/") + 1);
}

// The codes that the runtime's message table knows (the others are "external").
bool Known(DWORD code)
{
    return code == EXCEPTION_ACCESS_VIOLATION || (code >= 0xC000008C && code <= 0xC0000096) ||
           code == EXCEPTION_STACK_OVERFLOW || code == 0xC000013A;
}

} // namespace

std::exception_ptr OsExceptionObject(const EXCEPTION_RECORD& record)
{
    TOsException os;
    os.Code = record.ExceptionCode;
    os.Address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record.ExceptionAddress));
    for (DWORD k = 0; k < 2 && k < record.NumberParameters; ++k)
        os.Parameters[k] = static_cast<uint32_t>(record.ExceptionInformation[k]);
    if (os.Code == EXCEPTION_ACCESS_VIOLATION)
        os.Module = ModuleAt(record.ExceptionAddress);
    const std::string message = base::Utf16ToUtf8(OsExceptionMessage(os));
    return Known(os.Code) ? std::make_exception_ptr(EExternal(message, &record))
                          : std::make_exception_ptr(EExternalException(message, &record));
}

} // namespace crash
