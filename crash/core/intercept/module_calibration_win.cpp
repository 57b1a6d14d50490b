#include "crash/core/intercept/module_calibration_win.h"

#include "base/win_handle.h"

#include <psapi.h>

#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

namespace crash {
namespace {

constexpr uint32_t OtherModuleBit = 0x80000000u;

volatile uint32_t DataMarker = 0x56455843; // lives in this module's data

bool EndsWithBpl(HMODULE module)
{
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(module, path, MAX_PATH);
    if (n < 4 || n >= MAX_PATH)
        return false;
    std::wstring tail(path + n - 4, path + n);
    for (wchar_t& c : tail)
        c = static_cast<wchar_t>(std::towlower(c));
    return tail == L".bpl";
}

} // namespace

__attribute__((noinline)) uint32_t CalibrationCodeMarker()
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&CalibrationCodeMarker));
}

uint32_t CalibrationDataMarker()
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&DataMarker));
}

bool CalibrateModule(HMODULE module, bool isMain)
{
    HRSRC found = ::FindResourceW(module, L"CALIBRATE", L"VEX");
    if (!found || ::SizeofResource(module, found) != 20)
        return false;
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data)
        return false;
    uint32_t v[5];
    std::memcpy(v, data, sizeof v);
    if (((v[0] & OtherModuleBit) != 0) == isMain)
        return false;
    const auto base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(reinterpret_cast<uint8_t*>(module) + dos->e_lfanew);
    IMAGE_OPTIONAL_HEADER32& o = nt->OptionalHeader;
    DWORD protection = 0;
    if (!::VirtualProtect(&o, sizeof o, PAGE_READWRITE, &protection))
        return false;
    o.BaseOfCode = CalibrationCodeMarker() - (v[0] & ~OtherModuleBit) - base;
    if (o.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        o.BaseOfData = CalibrationDataMarker() - (v[1] & ~OtherModuleBit) - base;
    o.SizeOfCode = v[2];
    o.SizeOfInitializedData = v[3];
    o.SizeOfUninitializedData = v[4];
    ::VirtualProtect(&o, sizeof o, protection, &protection);
    return true;
}

int CalibrateModules(HMODULE settingsModule)
{
    HMODULE main = ::GetModuleHandleW(nullptr);
    int corrected = CalibrateModule(main, true) ? 1 : 0;
    if (settingsModule && settingsModule != main && !EndsWithBpl(settingsModule))
        corrected += CalibrateModule(settingsModule, false) ? 1 : 0;
    std::vector<HMODULE> modules(256);
    DWORD needed = 0;
    if (!::EnumProcessModules(::GetCurrentProcess(), modules.data(),
                              static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed))
        return corrected;
    modules.resize(std::min<size_t>(modules.size(), needed / sizeof(HMODULE)));
    for (HMODULE m : modules)
        if (m != main && EndsWithBpl(m))
            corrected += CalibrateModule(m, false) ? 1 : 0;
    return corrected;
}

} // namespace crash
